# shellcheck shell=sh
# Sourced by the benchmark scripts. Each figure that they compare with a peer
# program also goes out as one line that bench/run.sh gathers into its table:
#   BENCH name='...' peer='...' unit=ms ours=N theirs=N [rss_ours=KiB rss_peer=KiB]
# Lower is better for every figure; the ratio is ours / theirs.

# bench_summary <name> <peer> <unit> <ours> <theirs> [<ours peak RSS KiB> <peer's peak RSS KiB>]
bench_summary() {
    printf "BENCH name='%s' peer='%s' unit=%s ours=%s theirs=%s" "$1" "$2" "$3" "$4" "$5"
    if [ $# -ge 7 ]; then
        printf ' rss_ours=%s rss_peer=%s' "$6" "$7"
    fi
    printf '\n'
}
