# Arguments of the wrong type, NA, of length other than 1, or fractional counts are R errors
# (not varrowin_error) and never reach the library.
expect_r_error <- function(expr, label) {
  e <- tryCatch(expr, error = function(e) e)
  expect_s3_class(e, "error")
  expect_false(inherits(e, "varrowin_error"), label = label)
}

test_that("bad arguments of margin_shifts and range_centroids are R errors", {
  g <- system.file("extdata", "grid.mp", package = "varrowin")
  good <- list(path = g, start_year = 2000, axis = "Y", threshold = 0.1, burn_in = 1,
               patch_size_threshold = 0, smoothing = "sma", window = 3)
  bad <- list(
    path = list(1, NA_character_, c(g, g), character(0), NULL),
    start_year = list("2000", NA, NA_real_, NA_integer_, c(2000, 2001), 2000.5, TRUE, NULL,
                      Inf, numeric(0)),
    axis = list(1, NA_character_, c("X", "Y"), NULL, factor("X")),
    threshold = list("0.1", NA, NA_real_, NaN, c(0.1, 0.2), TRUE, NULL),
    burn_in = list("1", NA, 1.5, c(1, 2), -Inf),
    patch_size_threshold = list(NA, 0.5, "2"),
    smoothing = list(NA_character_, 1, c("sma", "exp"), character(0)),
    window = list(NA, 2.5, "3", c(3, 4), NaN)
  )
  for (f in list(margin_shifts, range_centroids)) {
    expect_s3_class(do.call(f, good), "data.frame")
    for (name in names(bad)) {
      for (value in bad[[name]]) {
        args <- good
        args[name] <- list(value)
        expect_r_error(do.call(f, args), paste(name, deparse(value)))
      }
    }
  }
})

test_that("bad arguments of read_mp, mcp_area and convex_hull are R errors", {
  g <- system.file("extdata", "grid.mp", package = "varrowin")
  expect_r_error(read_mp(g, NA), "start_year NA")
  expect_r_error(read_mp(g, c(1, 2)), "start_year length 2")
  expect_r_error(read_mp(NA_character_, 2000), "path NA")
  expect_r_error(read_mp(g, 1.5), "start_year 1.5")
  expect_r_error(mcp_area(c("0", "1"), c(0, 1)), "character x")
  expect_r_error(mcp_area(c(0, 1, 2), c(0, 1)), "lengths")
  expect_r_error(convex_hull(c(0, 1), NULL), "NULL y")
  expect_r_error(convex_hull(list(0, 1), c(0, 1)), "list x")
})

test_that("whole numbers stored as integers or doubles give the same result", {
  g <- system.file("extdata", "grid.mp", package = "varrowin")
  expect_identical(margin_shifts(g, 2000L, "Y", 0.1, burn_in = 2L)[, 1:4],
                   margin_shifts(g, 2000, "Y", 0.1, burn_in = 2)[, 1:4])
})
