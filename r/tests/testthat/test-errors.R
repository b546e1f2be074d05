grid <- function() system.file("extdata", "grid.mp", package = "varrowin")

# Expects a varrowin_error with exactly the message, raised with the user's call.
expect_varrowin_error <- function(expr, message) {
  e <- tryCatch(expr, error = function(e) e)
  expect_s3_class(e, "varrowin_error")
  expect_identical(conditionMessage(e), message)
  expect_false(is.null(conditionCall(e)))
}

test_that("every message of the analysis surfaces as a varrowin_error", {
  g <- grid()
  missing <- file.path(tempdir(), "no-such-file.mp")
  cases <- list(
    list(quote(margin_shifts(g, 2000, "Z", 0.1)), "XorY must be X or Y"),
    list(quote(margin_shifts(g, 2000, "XY", 0.1)), "XorY must be X or Y"),
    list(quote(margin_shifts(g, 2000, "", 0.1)), "XorY must be X or Y"),
    list(quote(margin_shifts(g, 2000, "Y", 0)),
         "Threshold must be a number greater than 0 and less than 1"),
    list(quote(range_centroids(g, 2000, "Y", 1)),
         "Threshold must be a number greater than 0 and less than 1"),
    list(quote(margin_shifts(g, 2000, "Y", Inf)),
         "Threshold must be a number greater than 0 and less than 1"),
    list(quote(margin_shifts(g, 2000, "Y", 0.1, burn_in = -1)), "Burn-in must not be negative"),
    list(quote(margin_shifts(g, 2000, "Y", 0.1, burn_in = 40)),
         "Burn-in leaves no years to analyse"),
    list(quote(margin_shifts(g, 2000, "Y", 0.1, smoothing = "ema", window = 3)),
         "Unknown moving average"),
    list(quote(margin_shifts(g, 2000, "Y", 0.1, smoothing = "sma")), "Missing window size"),
    list(quote(range_centroids(g, 2000, "Y", 0.1, smoothing = "exp", window = 0)),
         "Window size must be at least 1"),
    list(quote(margin_shifts(g, 3e9, "Y", 0.1)), "startyear out of range"),
    list(quote(margin_shifts(g, -2147483648, "Y", 0.1)), "startyear out of range"),
    list(quote(margin_shifts(g, 2000, "Y", 0.1, burn_in = 2^31)), "burn-in out of range"),
    list(quote(margin_shifts(g, 2000, "Y", 0.1, patch_size_threshold = -2^31 - 1)),
         "patch_size_threshold out of range"),
    list(quote(margin_shifts(g, 2000, "Y", 0.1, smoothing = "smm", window = 2^31)),
         "window_size out of range"),
    list(quote(margin_shifts(g, 2147483647, "Y", 0.1)), "Year out of range"),
    list(quote(margin_shifts(missing, 2000, "Y", 0.1)), paste0("Cannot open file: ", missing, ": No such file or directory")),
    list(quote(read_mp(missing, 2000)), paste0("Cannot open file: ", missing, ": No such file or directory")),
    list(quote(read_mp(g, 3e9)), "startyear out of range"),
    # The checks run in the program's argument order.
    list(quote(margin_shifts(missing, 2000, "Z", 2, burn_in = -1)), "XorY must be X or Y"),
    list(quote(margin_shifts(missing, 2000, "Y", 2, smoothing = "ema")),
         "Threshold must be a number greater than 0 and less than 1"),
    list(quote(margin_shifts(missing, 2000, "Y", 0.1, burn_in = -1, smoothing = "ema")),
         "Burn-in must not be negative"),
    list(quote(margin_shifts(missing, 2000, "Y", 0.1, smoothing = "ema")),
         "Unknown moving average"),
    list(quote(margin_shifts(missing, 2000, "Y", 0.1, smoothing = "sma", window = 0)),
         "Window size must be at least 1")
  )
  for (case in cases) {
    expect_varrowin_error(eval(case[[1]]), case[[2]])
  }
})

test_that("the reader's and the analysis's messages surface as varrowin_error", {
  dir <- tempfile()
  dir.create(dir)
  write <- function(name, lines) {
    path <- file.path(dir, name)
    writeLines(lines, path)
    path
  }
  no_patches <- write("none.mp", c("Header", "Cell length 1 km"))
  no_years <- write("noyears.mp", c("Run", "A,1,2,A.KCH", "B,3,4", "Migration"))
  unknown_block <- write("block.mp", c("Run", "A,1,2,A.KCH", "Migration", "Pop. ALL", "10 ",
                                       "Pop. 7", "10 "))
  all_zero <- write("zero.mp", c("Run", "A,1,2,A.KCH", "B,3,4", "Migration", "Pop. ALL",
                                 "0.0", "Pop. 1", "0.0", "Pop. 2", "0.0"))
  expect_varrowin_error(margin_shifts(no_patches, 2000, "Y", 0.1), "No patches to analyse")
  expect_varrowin_error(margin_shifts(no_years, 2000, "Y", 0.1), "No years to analyse")
  expect_varrowin_error(read_mp(unknown_block, 2000), "Patch does not exist")
  expect_varrowin_error(margin_shifts(unknown_block, 2000, "Y", 0.1), "Patch does not exist")
  expect_varrowin_error(margin_shifts(all_zero, 2000, "Y", 0.1, patch_size_threshold = 1),
                        "No patches to analyse")
  expect_identical(read_mp(no_years, 2000)$populations$year, integer(0))
})

test_that("the condition carries the user's call", {
  e <- tryCatch(margin_shifts(grid(), 2000, "Y", 1.5), varrowin_error = function(e) e)
  expect_identical(conditionCall(e)[[1]], quote(margin_shifts))
})

test_that("the internal hull functions refuse vectors of unequal length", {
  for (f in list(varrowin:::cpp_mcp_area, varrowin:::cpp_convex_hull)) {
    for (args in list(list(c(0, 1, 2, 5), c(0, 1)), list(c(0, 1), c(0, 1, 2, 5)))) {
      e <- tryCatch(do.call(f, args), error = function(e) e)
      expect_s3_class(e, "varrowin_error")
      expect_equal(conditionMessage(e), "'x' and 'y' must have the same length")
    }
  }
})

test_that("running out of memory is a varrowin_error with the program's message", {
  skip_on_os(c("windows", "mac", "solaris"))
  # A child R under a 1.2 GB address-space limit reads a file of 1 GB of zero bytes (sparse, one
  # line without a line feed), which the reader has to hold whole.
  zeros <- file.path(tempdir(), "zeros.mp")
  on.exit(unlink(zeros))
  script <- paste0(
    "library(varrowin); ",
    "e <- tryCatch(margin_shifts(commandArgs(TRUE)[1], 0, 'Y', 0.1), error = function(e) e); ",
    "cat(class(e)[1], conditionMessage(e), sep = '\\n')")
  command <- paste("truncate -s 1000M", shQuote(zeros), "&& ulimit -v 1200000 &&",
                   shQuote(file.path(R.home("bin"), "Rscript")), "-e", shQuote(script),
                   shQuote(zeros))
  out <- system2("sh", c("-c", shQuote(command)), stdout = TRUE, stderr = FALSE,
                 env = paste0("R_LIBS=", shQuote(paste(.libPaths(), collapse = ":"))))
  expect_identical(out, c("varrowin_error", "Out of memory"))
})
