# plot-shifts.gp: draws the North and South margin shifts of a Varrowin report, one panel for the
# X shift and one for the Y shift, into a PNG file.
#
#   mkdir -p build && Varrowin run.mp 2000 Y 0.1 ';' > build/report.csv
#   gnuplot -e "report='build/report.csv'" examples/plot-shifts.gp        (writes build/report.png)
#
# Variables (set with -e before the script):
#   report     the report file (required)
#   output     the PNG file to write (default: the report's name with .png appended, so the
#              picture lands next to the report); its directory must exist
#   delimiter  the delimiter the report was written with, as given to Varrowin (default ";"); any
#              length, e.g. ","; a tab is "\t" in double quotes (-e "delimiter=\"\t\"")
#   title      the title above both panels (default: the report's name)
#
# Only the table rows of the report are plotted: the lines that start with the delimiter followed
# by a digit or a minus sign (";2005;1.5;0.25;2005;3;12.3457"). A small awk filter skips the
# header block, the group header and the column header (or the empty line that replaces it), and
# hands the rows on with tabs between the fields, a shift that is not a finite number (nan, inf)
# written as nan. Such a shift leaves a gap in its line; a column with no finite shift at all is
# left out of its panel with a message on standard error, and a panel with none says so inside.
#
# Exit status: 0 when the PNG was written (even with columns left out); 1, with a message and no
# PNG, when the report cannot be read, has no table rows (a failed run, or another delimiter), or
# the output's directory does not exist; 2 without a report variable.

if (!exists("report")) {
  print "plot-shifts.gp: set the report file, e.g. gnuplot -e \"report='build/report.csv'\" plot-shifts.gp"
  exit status 2
}
if (!exists("output")) output = report . ".png"
if (!exists("delimiter")) delimiter = ";"
if (!exists("title")) title = report

# Quote a text for the POSIX shell that runs the filter: 'text', with ' written as '\''.
shellquote(s) = "'" . shellquote_rest(s) . "'"
shellquote_rest(s) = strstrt(s, "'") == 0 ? s : \
    s[1:strstrt(s, "'") - 1] . "'\\''" . shellquote_rest(s[strstrt(s, "'") + 1:])

if (delimiter eq "") {
  print "plot-shifts.gp: the delimiter must not be empty"
  exit status 1
}
if (system(sprintf("test -f %s && test -r %s && echo yes", shellquote(report), \
                   shellquote(report))) ne "yes") {
  print sprintf("plot-shifts.gp: cannot read the report '%s' (no such file, or not readable)", report)
  exit status 1
}
if (system(sprintf("d=$(dirname %s) && test -d \"$d\" && test -w \"$d\" && echo yes", \
                   shellquote(output))) ne "yes") {
  print sprintf("plot-shifts.gp: cannot write '%s': its directory does not exist or is not writable", output)
  exit status 1
}

# The filter: the table rows, fields cut at the delimiter taken literally (not as a pattern) and
# joined by tabs; a field that is not a finite decimal number becomes nan.
filter = "awk -v d=" . shellquote(delimiter) . " '" . \
    "function finite(s) { return s ~ /^-?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?$/ } " . \
    "index($0, d) == 1 && substr($0, length(d) + 1) ~ /^-?[0-9]/ { " . \
    "n = 0; s = $0; while ((i = index(s, d)) > 0) { f[++n] = substr(s, 1, i - 1); " . \
    "s = substr(s, i + length(d)) } f[++n] = s; line = \"\"; " . \
    "for (k = 1; k <= n; ++k) line = line (k > 1 ? \"\\t\" : \"\") (k == 1 || finite(f[k]) ? f[k] : \"nan\"); " . \
    "print line }' " . shellquote(report)
rows = "< " . filter

# Facts about the rows, from the filter's output: the number of rows, the first and last year,
# and per shift column the number of finite values and the largest one.
stats = system(filter . " | awk -F '\t' '" . \
    "{ ++n; if (n == 1 || $2 + 0 < lo) lo = $2 + 0; if (n == 1 || $2 + 0 > hi) hi = $2 + 0; " . \
    "for (c = 3; c <= 7; ++c) if ($c != \"nan\" && c != 5) { ++count[c]; if ($c + 0 > top[c]) top[c] = $c + 0 } } " . \
    "END { printf \"%d %d %d\", n, lo, hi; for (c = 3; c <= 7; ++c) printf \" %d %.17g\", count[c], top[c] + 0 }'")
numrows = int(word(stats, 1))
if (numrows == 0) {
  print sprintf("plot-shifts.gp: '%s' has no table rows: the run failed, or the report was not written with the delimiter '%s'", report, delimiter)
  exit status 1
}
firstyear = real(word(stats, 2))
lastyear = real(word(stats, 3))
# Column c (3 North X, 4 North Y, 6 South X, 7 South Y): its number of finite values and largest.
finitecount(c) = int(word(stats, 4 + 2 * (c - 3)))
largest(c) = real(word(stats, 5 + 2 * (c - 3)))
columnname(c) = (c < 5 ? "North " : "South ") . (c == 3 || c == 6 ? "X" : "Y")
do for [c in "3 4 6 7"] {
  if (finitecount(int(c)) == 0) {
    print sprintf("plot-shifts.gp: '%s': the %s shift is nan or inf in every row: not drawn", report, columnname(int(c)))
  }
}
top(a, b) = (finitecount(a) > 0 && largest(a) > 0) || (finitecount(b) > 0 && largest(b) > 0) ? \
    1.05 * (largest(a) > largest(b) ? largest(a) : largest(b)) : 1

# Columns of a filtered row: 1 empty, 2 year, 3 North X, 4 North Y, 5 year, 6 South X, 7 South Y.
set datafile separator "\t"

if (strstrt(GPVAL_TERMINALS, "pngcairo") > 0) {
  set terminal pngcairo size 900,700 enhanced font ",10"
} else {
  set terminal png size 900,700
}
set output output

set key top left box opaque
set grid
set xlabel "Year"
set ylabel "Shift (%)"
set format x "%.0f"
# A report of one year gets a range of one year around it.
if (firstyear < lastyear) {
  set xrange [firstyear:lastyear]
} else {
  set xrange [firstyear - 1:lastyear + 1]
}
# Whole years only on the year axis.
if (lastyear - firstyear < 10) set xtics 1
set style line 1 lc rgb "#1f77b4" lw 2 pt 7 ps 0.6
set style line 2 lc rgb "#d62728" lw 2 pt 5 ps 0.6

set multiplot layout 2,1 title title noenhanced
do for [axis in "X Y"] {
  north = axis eq "X" ? 3 : 4
  south = north + 3
  set title axis . " shift"
  set yrange [0:top(north, south)]
  unset label 1
  if (finitecount(north) == 0 && finitecount(south) == 0) {
    set label 1 sprintf("no finite %s shift in the report: every North and South value is nan or inf", axis) \
        at graph 0.5, 0.5 center noenhanced
    unset key
    plot NaN notitle
    set key
  } else {
    if (finitecount(north) == 0) {
      plot rows using 5:south with linespoints ls 2 title "South (North: nan or inf throughout)"
    } else {
      if (finitecount(south) == 0) {
        plot rows using 2:north with linespoints ls 1 title "North (South: nan or inf throughout)"
      } else {
        plot rows using 2:north with linespoints ls 1 title "North", \
             rows using 5:south with linespoints ls 2 title "South"
      }
    }
  }
}
unset multiplot
set output
