# A line and bar chart written by gnuplot's EMF terminal: text, dashed and
# wide lines, filled boxes and markers, as a real producer writes them.
#   gnuplot chart.gp   (writes chart.emf here)
set terminal emf color enhanced size 800,500 font "Liberation Sans,12"
set output "chart.emf"
set title "Seasonal output"
set xlabel "Month"
set ylabel "Units"
set grid ytics lt 0
set key top left
set style fill solid 0.6 border -1
set boxwidth 0.6
set xrange [0.3:12.7]
set yrange [0:*]
set xtics ("Jan" 1, "Feb" 2, "Mar" 3, "Apr" 4, "May" 5, "Jun" 6, "Jul" 7, "Aug" 8, "Sep" 9, "Oct" 10, "Nov" 11, "Dec" 12)
$data << EOD
1 32 28
2 35 30
3 44 37
4 52 45
5 61 57
6 70 66
7 74 71
8 72 70
9 63 58
10 51 47
11 41 36
12 34 31
EOD
plot $data using 1:2 with boxes lc rgb "#4E79A7" title "this year", \
     $data using 1:3 with linespoints lw 3 pt 7 ps 1.2 lc rgb "#E15759" title "last year", \
     40 + 30 * sin((x - 2.5) * pi / 6) with lines dt 2 lw 2 lc rgb "#59A14F" title "model"
