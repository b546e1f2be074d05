# plot-shifts.gp: draws the North and South margin shifts of a Varrowin report, one panel for the
# X shift and one for the Y shift, into a PNG file.
#
#   Varrowin run.mp 2000 Y 0.1 ';' > report.csv
#   gnuplot -e "report='report.csv'; output='shifts.png'" examples/plot-shifts.gp
#
# Variables (set with -e before the script):
#   report     the report file (required)
#   output     the PNG file to write (default: the report's name with .png appended)
#   delimiter  the report's delimiter, one character (default ";"); "\t" for a tab
#   title      the title above both panels (default: the report's name)
#
# Only the table rows of the report are plotted: the lines that start with the delimiter followed
# by a digit or a minus sign (";2005;1.5;0.25;2005;3;12.3457"). The header block, the group header
# and the column header (or the empty line that replaces it) are skipped by a small awk filter.
# A shift that could not be computed (nan, inf) leaves a gap in its line.

if (!exists("report")) {
  print "plot-shifts.gp: set the report file, e.g. gnuplot -e \"report='report.csv'\" plot-shifts.gp"
  exit status 2
}
if (!exists("output")) output = report . ".png"
if (!exists("delimiter")) delimiter = ";"
if (!exists("title")) title = report

# Quote a text for the POSIX shell that runs the filter: 'text', with ' written as '\''.
shellquote(s) = "'" . shellquote_rest(s) . "'"
shellquote_rest(s) = strstrt(s, "'") == 0 ? s : \
    s[1:strstrt(s, "'") - 1] . "'\\''" . shellquote_rest(s[strstrt(s, "'") + 1:])

# The awk condition that selects the table rows; the delimiter is passed in as d.
is_row = "index($0, d) == 1 && substr($0, length(d) + 1) ~ /^-?[0-9]/"
awk = sprintf("awk -v d=%s", shellquote(delimiter))
rows = sprintf("< %s '%s' %s", awk, is_row, shellquote(report))

# The largest finite value of two columns over the table rows (0 when there is none). The panels
# get a fixed Y range from it, so that a panel whose shifts are all nan is drawn empty instead of
# stopping gnuplot.
number = "/^-?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?$/"
largest(a, b) = real(system(sprintf("%s -v a=%d -v b=%d '%s { split($0, f, d); " . \
    "if (f[a] ~ %s && f[a] + 0 > m) m = f[a] + 0; if (f[b] ~ %s && f[b] + 0 > m) m = f[b] + 0 } " . \
    "END { print m + 0 }' %s", awk, a, b, is_row, number, number, shellquote(report))))
top(m) = m > 0 ? m * 1.05 : 1

# Columns of a table row: 1 empty, 2 year, 3 North X, 4 North Y, 5 year, 6 South X, 7 South Y.
set datafile separator delimiter
set datafile missing "nan"

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
set style line 1 lc rgb "#1f77b4" lw 2 pt 7 ps 0.6
set style line 2 lc rgb "#d62728" lw 2 pt 5 ps 0.6

set multiplot layout 2,1 title title noenhanced
set title "X shift"
set yrange [0:top(largest(3, 6))]
plot rows using 2:3 with linespoints ls 1 title "North", \
     rows using 5:6 with linespoints ls 2 title "South"
set title "Y shift"
set yrange [0:top(largest(4, 7))]
plot rows using 2:4 with linespoints ls 1 title "North", \
     rows using 5:7 with linespoints ls 2 title "South"
unset multiplot
set output
