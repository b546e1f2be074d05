# The analysis cases of the project (tests/data/cases.tsv) with the program's stored reports, and
# the MP files they name, copied into data/ by tools/build.sh under their paths in the project.
data_path <- function(...) test_path("data", ...)

read_cases <- function() {
  cases <- utils::read.delim(data_path("cases.tsv"), colClasses = "character")
  stopifnot(nrow(cases) >= 8L)
  cases
}

# The options of a case as margin_shifts takes them.
case_args <- function(case) {
  args <- list(
    path = data_path(case$file), start_year = as.numeric(case$start_year),
    axis = case$axis, threshold = as.numeric(case$threshold),
    burn_in = as.numeric(case$burn_in),
    patch_size_threshold = as.numeric(case$patch_size_threshold)
  )
  if (case$smoothing != "none") {
    args$smoothing <- case$smoothing
    args$window <- as.numeric(case$window)
  }
  args
}

# A stored report cut into its header figures and its rows (fields split at ";").
read_report <- function(name) {
  lines <- readLines(data_path("expected", paste0(name, ".txt")))
  fields <- strsplit(lines, ";", fixed = TRUE)
  header <- list()
  rows <- list()
  for (f in fields) {
    if (length(f) == 2L) {
      header[[f[1]]] <- f[2]
    } else if (length(f) == 7L && f[2] != "Year") {
      rows[[length(rows) + 1L]] <- f
    }
  }
  list(header = header, rows = do.call(rbind, rows))
}

# A double as the program prints it: %g, with C's spelling of not-a-number and infinity.
as_report <- function(x) {
  text <- sprintf("%g", x)
  text[is.nan(x)] <- "nan"
  text[is.infinite(x) & x > 0] <- "inf"
  text[is.infinite(x) & x < 0] <- "-inf"
  text
}
