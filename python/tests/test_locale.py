"""The results do not depend on the process locale: a Python program may set a decimal-comma
locale (locale.setlocale(locale.LC_ALL, "de_DE.UTF-8")), under which the C library reads "2.5"
as 2 and prints 2,5."""

import locale

import numpy as np
import pytest

import varrowin
from conftest import source_path

COMMA_LOCALES = ["de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8",
                 "ru_RU.UTF-8", "es_ES.UTF-8", "it_IT.UTF-8", "pt_BR.UTF-8"]

# Numbers in the forms that are not plain decimals (exponents, a plus sign, trailing text), so
# that the reader converts them as atof does.
EXPONENTS = """Run with numbers in exponent form
Cell length 2.5e0 km
A,1.5e1,+2.5,1,A.KCH
B,3.25E1,4.75x,1
C,0.5e1,6.5e+1,1
Migration
Pop. ALL
1
1
1
Pop. 1
1.25e2 0
1.5e2 0
2.5e1 0
Pop. 2
5.5e1 0
+6.5 0
7.5e1 0
Pop. 3
2.5e1 0
3.5e1 0
1.05e2 0
"""


def results(path):
    contents = varrowin.read_mp(path, 2000)
    return {
        "x": contents.patches["x"], "y": contents.patches["y"],
        "population": contents.populations["population"],
        "resolution": np.array([contents.resolution]),
        "shifts": varrowin.margin_shifts(path, 2000, "Y", 0.3, smoothing="exp",
                                         window=2)["y_shift"],
        "grid": varrowin.range_centroids(source_path("examples/grid.mp"), 2000, "X", 0.15)["x_km"],
    }


@pytest.fixture
def comma_locale():
    saved = locale.setlocale(locale.LC_ALL)
    for name in COMMA_LOCALES:
        try:
            locale.setlocale(locale.LC_ALL, name)
        except locale.Error:
            continue
        if locale.localeconv()["decimal_point"] == ",":
            yield name
            locale.setlocale(locale.LC_ALL, saved)
            return
    locale.setlocale(locale.LC_ALL, saved)
    pytest.skip("no decimal-comma locale installed (tried %s; on Debian: apt-get install "
                "locales, enable de_DE.UTF-8 in /etc/locale.gen, run locale-gen)"
                % ", ".join(COMMA_LOCALES))


def test_numbers_are_read_alike_under_a_decimal_comma_locale(tmp_path, comma_locale):
    path = tmp_path / "exponents.mp"
    path.write_text(EXPONENTS)
    locale.setlocale(locale.LC_ALL, "C")
    expected = results(path)
    assert list(expected["x"]) == [15.0, 32.5, 5.0]
    assert list(expected["y"]) == [2.5, 4.75, 65.0]
    assert expected["resolution"][0] == 2.5
    locale.setlocale(locale.LC_ALL, comma_locale)
    assert locale.atof("2,5") == 2.5  # the locale is in force
    got = results(path)
    for key, values in expected.items():
        assert np.array_equal(got[key], values, equal_nan=True), key
