test_that("margin_shifts gives the numbers of the program's stored reports", {
  cases <- read_cases()
  for (i in seq_len(nrow(cases))) {
    case <- cases[i, ]
    report <- read_report(case$name)
    shifts <- do.call(margin_shifts, case_args(case))
    north <- shifts[shifts$margin == "North", ]
    south <- shifts[shifts$margin == "South", ]
    rows <- report$rows
    expect_equal(nrow(north), nrow(rows), label = case$name)
    expect_equal(nrow(south), nrow(rows), label = case$name)
    expect_identical(sprintf("%d", north$year), rows[, 2], label = case$name)
    expect_identical(as_report(north$x_shift), rows[, 3], label = case$name)
    expect_identical(as_report(north$y_shift), rows[, 4], label = case$name)
    expect_identical(sprintf("%d", south$year), rows[, 5], label = case$name)
    expect_identical(as_report(south$x_shift), rows[, 6], label = case$name)
    expect_identical(as_report(south$y_shift), rows[, 7], label = case$name)
    expect_identical(sprintf("%d", length(unique(shifts$year))),
                     report$header[["Total years"]], label = case$name)
    expect_identical(sprintf("%g", attr(shifts, "patches_loaded")),
                     report$header[["Num patches loaded"]], label = case$name)
    expect_identical(sprintf("%g", attr(shifts, "resolution")),
                     report$header[["Resolution(km)"]], label = case$name)
    cleaned <- report$header[["Num patches after cleaning"]]
    expect_identical(
      if (is.null(cleaned)) NA_character_ else cleaned,
      if (is.na(attr(shifts, "patches_after_cleaning"))) NA_character_
      else sprintf("%g", attr(shifts, "patches_after_cleaning")),
      label = case$name
    )
  }
})

test_that("the shifts follow bit for bit from the centroid positions", {
  cases <- read_cases()
  for (i in seq_len(nrow(cases))) {
    case <- cases[i, ]
    args <- case_args(case)
    shifts <- do.call(margin_shifts, args)
    centroids <- do.call(range_centroids, args)
    years <- unique(centroids$year)
    b <- args$burn_in
    expect_identical(unique(shifts$year), years[seq(b + 1, length(years))], label = case$name)
    all <- centroids[centroids$group == "all", ]
    reference <- all[max(b, 1), ]
    for (side in c("North", "South")) {
      margin <- centroids[centroids$group == side, ][seq(b + 1, length(years)), ]
      dx <- reference$x_km - margin$x_km
      dy <- reference$y_km - margin$y_km
      expected_x <- abs(abs(dx) - abs(dx[1])) / abs(dx[1]) * 100
      expected_y <- abs(abs(dy) - abs(dy[1])) / abs(dy[1]) * 100
      expect_identical(shifts$x_shift[shifts$margin == side], expected_x,
                       label = paste(case$name, side, "x"))
      expect_identical(shifts$y_shift[shifts$margin == side], expected_y,
                       label = paste(case$name, side, "y"))
    }
  }
})

test_that("rows are ordered by year, then North before South or all, North, South", {
  grid <- system.file("extdata", "grid.mp", package = "varrowin")
  shifts <- margin_shifts(grid, 1990, "Y", 0.2, burn_in = 2)
  expect_identical(shifts$year, rep(1992:2029, each = 2L))
  expect_identical(shifts$margin, rep(c("North", "South"), 38L))
  expect_identical(names(shifts), c("year", "margin", "x_shift", "y_shift"))
  centroids <- range_centroids(grid, 1990, "Y", 0.2, burn_in = 2)
  expect_identical(centroids$year, rep(1990:2029, each = 3L))
  expect_identical(centroids$group, rep(c("all", "North", "South"), 40L))
  expect_identical(names(centroids), c("year", "group", "x_km", "y_km"))
  # Along Y, North is gathered from the low end and South from the high end.
  all <- centroids$y_km[centroids$group == "all"]
  expect_true(all(centroids$y_km[centroids$group == "North"] < all))
  expect_true(all(centroids$y_km[centroids$group == "South"] > all))
})

test_that("results carry the version, the file and the options", {
  grid <- system.file("extdata", "grid.mp", package = "varrowin")
  shifts <- margin_shifts(grid, 2000, "y", 0.1, burn_in = 1, smoothing = "exp", window = 3)
  expect_identical(attr(shifts, "varrowin_version"),
                   as.character(utils::packageVersion("varrowin")))
  expect_identical(attr(shifts, "file"), grid)
  expect_identical(attr(shifts, "options"), list(
    start_year = 2000, axis = "Y", threshold = 0.1, burn_in = 1, patch_size_threshold = 0,
    smoothing = "exp", window = 3
  ))
  expect_identical(attr(shifts, "patches_loaded"), 49)
  expect_identical(attr(range_centroids(grid, 2000, "X", 0.1), "options")$window, NULL)
})

test_that("a lower-case axis reads as upper case", {
  grid <- system.file("extdata", "grid.mp", package = "varrowin")
  expect_identical(margin_shifts(grid, 2000, "x", 0.3)[, 3:4],
                   margin_shifts(grid, 2000, "X", 0.3)[, 3:4])
})

test_that("centroid positions are in the units of the patch coordinates", {
  # The grid's cell length is 2.5; the positions are not scaled by it.
  grid <- system.file("extdata", "grid.mp", package = "varrowin")
  patches <- read_mp(grid, 2000)$patches
  centroids <- range_centroids(grid, 2000, "X", 0.1)
  expect_identical(attr(centroids, "resolution"), 2.5)
  # A weighted mean of equal coordinates may be off by rounding.
  inside <- function(v, range) all(v >= min(range) - 1e-9 & v <= max(range) + 1e-9)
  expect_true(inside(centroids$x_km, patches$x))
  expect_true(inside(centroids$y_km, patches$y))
  # Along X the margins take the lowest and the highest X column at a threshold of 0.1.
  expect_true(all(centroids$x_km[centroids$group == "North"] < 6))
  expect_true(all(centroids$x_km[centroids$group == "South"] > 22))
})
