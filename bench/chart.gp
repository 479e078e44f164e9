# The benchmark chart: milliseconds per megapixel (log scale) for each image
# and contender, from bench/chart.py's data. Run with
# -e "data='...'; labels='...'; output='...'".
set terminal svg size 960,540 font "sans,11" background rgb "white"
set output output
set title "Quarter turn, whole call: milliseconds per megapixel (lower is better)"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set logscale y
set yrange [0.001:*]
set ylabel "ms per megapixel"
set grid ytics
set datafile missing "-"
set key outside right top vertical
set xtics nomirror
n = int(system("wc -l < " . labels))
title(i) = system(sprintf("sed -n %dp %s", i, labels))
plot for [i=1:n] data using (column(i+1)):xtic(1) title title(i) noenhanced
