"""The GIL is released while a file is loaded and analysed: two threads analysing two files
take about the time of one, given two cores."""

import hashlib
import os
import shutil
import threading
import time

import numpy as np
import pytest

import varrowin

PATCHES = 20000
YEARS = 400


def write_large_mp(path, patches, years):
    """A valid MP file of patches x years data lines (about 60 MB for 20000 x 400) on a square
    grid; each patch takes one of 61 population series, with zeros in a moving pattern."""
    side = int(patches ** 0.5) + 1
    head = ["Large generated run", "Cell length 2.5 km"]
    head += ["P%06d,%d,%d,1,P.KCH" % (p, p % side * 3, p // side * 3) for p in range(patches)]
    head += ["Migration", "Pop. ALL"] + ["0 0 0"] * years
    series = ["".join("%d 1 2\n" % (((k * 7919 + y * 104729) % 997) * ((k + y) % 5 != 0))
                      for y in range(years)) for k in range(61)]
    with open(path, "w") as out:
        out.write("\n".join(head) + "\n")
        out.write("".join("Pop. %d\n%s" % (p + 1, series[(p // side + p) % 61])
                          for p in range(patches)))


def cores():
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


def analyse(path):
    return varrowin.margin_shifts(path, 2000, "Y", 0.1, 0, 0, "sma", 3)


@pytest.fixture(scope="module")
def large_files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("large")
    first = folder / "first.mp"
    second = folder / "second.mp"
    write_large_mp(first, PATCHES, YEARS)
    shutil.copyfile(first, second)
    return first, second


def test_python_runs_while_a_file_is_analysed(large_files):
    """Holding the GIL would stop this thread for the whole call; released, it keeps running.
    Independent of the machine's load: the longest pause is compared with the call's length."""
    done = threading.Event()
    span = {}

    def work():
        span["start"] = time.perf_counter()
        analyse(large_files[0])
        span["end"] = time.perf_counter()
        done.set()

    thread = threading.Thread(target=work)
    ticks = []
    thread.start()
    while not done.is_set():
        ticks.append(time.perf_counter())
    thread.join()
    ticks = [tick for tick in ticks if span["start"] <= tick <= span["end"]]
    call = span["end"] - span["start"]
    # Well above Python's switch interval (5 ms), which bounds the pauses of a released GIL.
    assert call > 0.03, "the file is too small to measure"
    edges = [span["start"]] + ticks + [span["end"]]
    longest_pause = max(b - a for a, b in zip(edges, edges[1:]))
    print("call %.3f s, longest pause of the other thread %.3f s" % (call, longest_pause))
    assert longest_pause < 0.5 * call


def pair_ratio(work, arguments, attempts=3):
    """The best time of two threads running work(a) and work(b) at once, over the best time of
    one work(a), from a few attempts each."""
    single = []
    both = []
    for _ in range(attempts):
        started = time.perf_counter()
        work(arguments[0])
        single.append(time.perf_counter() - started)
        threads = [threading.Thread(target=work, args=(argument,)) for argument in arguments]
        started = time.perf_counter()
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        both.append(time.perf_counter() - started)
    return min(both) / min(single), min(single)


@pytest.mark.skipif(cores() < 2, reason="needs two cores")
@pytest.mark.skipif(os.environ.get("VARROWIN_TIMING_TESTS") != "1",
                    reason="a wall-time measurement: set VARROWIN_TIMING_TESTS=1 on a quiet machine")
def test_two_threads_analyse_two_files_in_about_the_time_of_one(large_files):
    first, second = large_files
    expected = analyse(first)
    assert len(expected) == 2 * (YEARS - 2)
    results = {}

    def work(path):
        results[path] = analyse(path)

    ratio, single_time = pair_ratio(work, large_files)
    for path in large_files:
        assert np.array_equal(results[path]["x_shift"], expected["x_shift"], equal_nan=True)
        assert np.array_equal(results[path]["y_shift"], expected["y_shift"], equal_nan=True)
    if single_time < 0.1:
        pytest.skip("one file took %.3f s: too little to compare wall times" % single_time)

    # A control that is known to run in parallel (hashing releases the GIL) tells whether two
    # cores are free for this process at all; on a machine busy with other work they are not.
    data = b"\x5a" * (64 << 20)
    control, _ = pair_ratio(lambda _: hashlib.sha256(data).digest(), (0, 1))
    print("one file: %.3f s; two files in two threads: %.2f x that; control: %.2f x"
          % (single_time, ratio, control))
    if control >= 1.4:
        pytest.skip("two threads of hashing took %.2f x the time of one: no two free cores"
                    % control)
    assert ratio < 1.6
