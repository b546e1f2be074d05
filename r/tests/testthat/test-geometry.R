test_that("mcp_area and convex_hull follow the hull of the points", {
  cases <- list(
    # x, y, hull x, hull y, area
    list(c(0, 2, 2, 0, 1), c(0, 0, 2, 2, 1), c(0, 2, 2, 0), c(0, 0, 2, 2), 4),
    # The lowest point first (smallest y, then smallest x), counter-clockwise; a point on an
    # edge is no vertex.
    list(c(3, 0, 1, 3, 1.5), c(3, 0, 0, 0, 0), c(0, 3, 3), c(0, 0, 3), 4.5),
    list(c(1, 2, 3), c(1, 2, 3), c(1, 3), c(1, 3), 0),
    list(5, 7, 5, 7, 0),
    list(numeric(0), numeric(0), numeric(0), numeric(0), 0),
    # Points with NA are left out, and so are those with an infinite coordinate.
    list(c(0, 4, 0, NA, 100), c(0, 0, 4, 1, NA), c(0, 4, 0), c(0, 0, 4), 8),
    list(c(0, 4, 0, Inf, 1), c(0, 0, 4, 1, -Inf), c(0, 4, 0), c(0, 0, 4), 8)
  )
  for (case in cases) {
    hull <- convex_hull(case[[1]], case[[2]])
    expect_identical(hull, data.frame(x = case[[3]], y = case[[4]]))
    # Heron's formula on the triangles of the hull is not exact.
    expect_equal(mcp_area(case[[1]], case[[2]]), case[[5]], tolerance = 1e-12)
  }
})
