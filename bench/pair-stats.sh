# Sourced by the benchmark scripts. run_pairs runs two shell functions in
# turn, PAIRS times (the command, then its reference), each printing the line
# of bench/measure.c ("wall cpu user sys maxrss_kib status"), and prints:
#   the median seconds of each side, the median of the per-pair ratios
#   (command / reference) of CPU and of wall time with their interquartile
#   range, the peak resident memory of each side over all runs, and whether
#   the median CPU ratio meets the target.
# Needs: $pairs, $work, and $err (the file the commands' standard error went to);
# $peak_target_kib, when set, is the command's own memory target.

pair_header() {
  printf '%-40s %-5s %12s %12s %8s %15s  %s\n' "task" "" "kerfwell" "reference" "ratio" "IQR of ratio" "target"
}

run_pairs() { # task target ("cpu<=X" or empty) command-function reference-function
  local task=$1 target=$2 ours=$3 ref=$4 r a b
  local data="$work/pairs.txt"
  : >"$data"
  for ((r = 0; r < pairs; r++)); do
    a=$($ours)
    b=$($ref)
    if [ "${a##* }" != 0 ] || [ "${b##* }" != 0 ]; then
      echo "$task: a run failed (status ${a##* } and ${b##* }):" >&2
      tail -5 "$err" >&2
      exit 1
    fi
    echo "$a $b" >>"$data"
  done
  pair_summary "$task" "$target" <"$data"
}

pair_summary() { # task target, pair lines on standard input
  awk -v task="$1" -v target="$2" -v peak_target="${peak_target_kib:-}" '
    function sorted(src, n, dst,   i, j, v) {
      for (i = 1; i <= n; i++) dst[i] = src[i]
      for (i = 2; i <= n; i++) {
        v = dst[i]
        for (j = i - 1; j >= 1 && dst[j] > v; j--) dst[j + 1] = dst[j]
        dst[j + 1] = v
      }
    }
    # Quantile with linear interpolation between the order statistics.
    function q(src, n, p,   s, h, lo) {
      sorted(src, n, s)
      h = (n - 1) * p + 1
      lo = int(h)
      return lo >= n ? s[n] : s[lo] + (h - lo) * (s[lo + 1] - s[lo])
    }
    function ratio(a, b) { return b > 0 ? a / b : 0 }
    {
      n++
      ow[n] = $1; oc[n] = $2; rw[n] = $7; rc[n] = $8
      cr[n] = ratio($2, $8); wr[n] = ratio($1, $7)
      if ($5 > orss) orss = $5
      if ($11 > rrss) rrss = $11
    }
    END {
      verdict = ""
      if (target ~ /^cpu<=/) {
        limit = substr(target, 6) + 0
        verdict = sprintf("at most %gx: %s", limit, q(cr, n, 0.5) <= limit ? "meets" : "misses")
      }
      printf "%-40s %-5s %11.4fs %11.4fs %7.3fx %7.3f-%-7.3f  %s\n", task, "cpu",
        q(oc, n, 0.5), q(rc, n, 0.5), q(cr, n, 0.5), q(cr, n, 0.25), q(cr, n, 0.75), verdict
      printf "%-40s %-5s %11.4fs %11.4fs %7.3fx %7.3f-%-7.3f\n", "", "wall",
        q(ow, n, 0.5), q(rw, n, 0.5), q(wr, n, 0.5), q(wr, n, 0.25), q(wr, n, 0.75)
      peak_verdict = ""
      if (peak_target != "")
        peak_verdict = sprintf("%26s at most %d KiB: %s", "", peak_target, orss <= peak_target + 0 ? "meets" : "misses")
      printf "%-40s %-5s %8d KiB %8d KiB%s\n", "", "peak", orss, rrss, peak_verdict
    }'
}
