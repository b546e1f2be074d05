library(testthat)
library(varrowin)

test_check("varrowin")
