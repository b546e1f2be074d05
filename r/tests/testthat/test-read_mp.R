# Writes an MP file holding the patches and populations of read_mp's result, in the layout the
# reader takes: a resolution line, the patch lines (the first marked .KCH), a Migration line, the
# all-patches block (one line per year) and one block per patch.
write_mp <- function(mp, path) {
  patches <- mp$patches
  pops <- mp$populations
  years <- sort(unique(pops$year))
  number <- function(x) paste0(sprintf("%.17g", x), " ")  # two characters at least
  lines <- c("Written by the varrowin tests",
             sprintf("Cell length %.17g km", attr(mp, "resolution")),
             sprintf("%s,%.17g,%.17g%s", patches$name, patches$x, patches$y,
                     ifelse(seq_len(nrow(patches)) == 1L, ",x.KCH", "")),
             "Migration", "Pop. ALL",
             number(vapply(years, function(y) sum(pops$population[pops$year == y]), 0)))
  for (k in seq_len(nrow(patches))) {
    block <- pops[pops$patch == patches$name[k], ]
    lines <- c(lines, sprintf("Pop. %d", k), number(block$population[order(block$year)]))
  }
  writeLines(lines, path)
}

test_that("read_mp reads the minimal example as the program does", {
  mp <- read_mp(system.file("extdata", "minimal.mp", package = "varrowin"), 1990)
  expect_identical(mp$patches, data.frame(name = c("A", "B"), x = c(10, 30), y = c(20, 40)))
  expect_identical(mp$populations, data.frame(patch = c("A", "A", "B", "B"),
                                              year = c(1990L, 1991L, 1990L, 1991L),
                                              population = c(100, 110, 50, 55)))
  expect_identical(attr(mp, "resolution"), 2.5)
  expect_identical(attr(mp, "options"), list(start_year = 1990))
})

test_that("read_mp round-trips the example files", {
  files <- c(list.files(system.file("extdata", package = "varrowin"), "\\.mp$",
                        full.names = TRUE),
             data_path("tests", "data", c("four.mp", "unit.mp")))
  expect_gte(length(files), 4L)
  for (file in files) {
    mp <- read_mp(file, 2000)
    n <- nrow(mp$patches)
    expect_gt(n, 0L, label = file)
    # Tidy: one row per patch and year, every patch with the same years.
    years <- sort(unique(mp$populations$year))
    expect_identical(nrow(mp$populations), n * length(years), label = file)
    expect_identical(mp$populations$patch, rep(mp$patches$name, each = length(years)),
                     label = file)
    expect_identical(mp$populations$year, rep(years, n), label = file)
    copy <- tempfile(fileext = ".mp")
    write_mp(mp, copy)
    again <- read_mp(copy, 2000)
    attr(again, "file") <- file
    expect_identical(again, mp, label = file)
    # The start year only renumbers the years.
    shifted <- read_mp(file, -5)
    expect_identical(shifted$populations$year, mp$populations$year - 2005L, label = file)
  }
})

test_that("read_mp gives the patch count of the program's report", {
  expect_identical(nrow(read_mp(data_path("examples", "grid.mp"), 0)$patches),
                   as.integer(read_report("grid-Y-0.1")$header[["Num patches loaded"]]))
})
