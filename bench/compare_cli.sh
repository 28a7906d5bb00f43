#!/usr/bin/env bash
# Times velocitrix-cli against the standard tools doing the same edits, whole
# process each, and writes the table into the CLI section of bench/RESULTS.md.
#
#   bench/compare_cli.sh [build-dir] [runs] [tree-runs]
#
# build-dir: a Release build with velocitrix-cli, gen_corpus and gen_tree
# (default: build). runs: runs per command on the 100 MB file (default 5);
# tree-runs: runs per command on the 50,000-file tree (default 3). Work files go
# to $VX_COMPARE_DIR (default ${TMPDIR:-/tmp}/vx-compare-cli). Each run starts
# from a fresh copy of the input (the copying is not timed). hyperfine is used
# when it is installed, a plain loop otherwise; the table gives medians.
#
# The edits:
#   optimize, large file: tr turns every CR into a line end, sed -E drops leading
#     and trailing blanks, makes each run of blanks its last character, drops
#     empty lines and ends every line with CR LF, written to a temporary file that
#     is renamed over the original; perl -0777 -pi does the same in one process.
#     Their output is compared with velocitrix-cli's (they agree byte for byte).
#   replace, large file: sed -i and perl -pi replace the frequent link prefix,
#     case-sensitive and (sed's I flag) ignoring case. They only substitute;
#     velocitrix-cli also makes every line break CR LF, as the program does.
#   tree (skipped with VX_COMPARE_TREE=0): find with the sixteen default masks (-iname) runs sed -i on every
#     matching file, once per file (-exec ... \;) and in batches (-exec ... +),
#     against velocitrix-cli -r --jobs 2 (walk, read, edit, safe write).
#   tree on tmpfs (the same switch; $VX_COMPARE_SHM): plain_rewrite, which reads
#     every listed file and writes the same bytes back through a temporary and a
#     rename (one thread, no flush, no check), as the floor for velocitrix-cli
#     optimize -r --jobs 2 with its defaults on a copy of the tree there.
#   filter (standard input to a file on tmpfs), LF input: cat of the same bytes
#     against velocitrix-cli with the window's rules, with its own defaults and
#     writing LF.
# velocitrix-cli writes safely (temporary file, flushed to the disk, renamed);
# sed -i and perl -pi do not flush to the disk.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-5}"
tree_runs="${3:-3}"
work="${VX_COMPARE_DIR:-${TMPDIR:-/tmp}/vx-compare-cli}"
results="$here/bench/RESULTS.md"

cli="$build/cli/velocitrix-cli"
gen_corpus="$build/bench/gen_corpus"
gen_tree="$build/bench/gen_tree"
plain="$build/bench/plain_rewrite"
for tool in "$cli" "$gen_corpus" "$gen_tree" "$plain"; do
    [[ -x "$tool" ]] || { echo "not built: $tool (build a Release tree first)" >&2; exit 1; }
done
mkdir -p "$work"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

corpus="$work/corpus.htm"
tree="$work/tree"
[[ -f "$corpus" ]] || "$gen_corpus" "$corpus" 100 >/dev/null
corpus_bytes=$(stat -c %s "$corpus")
tree_files=0
if [[ "${VX_COMPARE_TREE:-1}" != 0 ]]; then
    [[ -d "$tree" ]] || "$gen_tree" "$tree" >/dev/null
    tree_files=$(find "$tree" -type f | wc -l)
fi

file="$work/file.htm"
twork="$work/tree-work"
masks=(htm html php php3 php4 asp jsp phtm phtml shtm shtml xhtm xhtml css cgi pl)
find_masks=()
for m in "${masks[@]}"; do
    find_masks+=(-o -iname "*.$m")
done
find_masks=("${find_masks[@]:1}")

sed_opt='s/^[ \t]+//; s/[ \t]+$//; s/[ \t]+([ \t])/\1/g; /^$/d; s/$/\r/'
sed_opt_tree='s/\r$//; s/^[ \t]+//; s/[ \t]+$//; s/[ \t]+([ \t])/\1/g; /^$/d; s/$/\r/'
perl_opt='s/\r\n?/\n/g; s/^[ \t]+//mg; s/[ \t]+$//mg; s/[ \t]+([ \t])/$1/g; s/^\n//mg; s/\n/\r\n/g'
prefix='href="https://www.example.com/'
prefix_uc='HREF="HTTPS://WWW.EXAMPLE.COM/'
short='href="/'

# The commands timed, as shell text run by bash -c.
q() { printf '%q' "$1"; }
reset_file="cp $(q "$corpus") $(q "$file")"
reset_tree="rm -rf $(q "$twork") && cp -a $(q "$tree") $(q "$twork")"
export LC_ALL=C

# The window's rules (CR LF, preformatted text not kept), as the other tools apply.
rules="--no-keep-pre --line-breaks=crlf"
cmd_cli_opt="$(q "$cli") optimize $rules $(q "$file") >/dev/null"
cmd_trsed_opt="tr '\\r' '\\n' <$(q "$file") | sed -E $(q "$sed_opt") >$(q "$file.new") && mv $(q "$file.new") $(q "$file")"
cmd_perl_opt="perl -0777 -pi -e $(q "$perl_opt") $(q "$file")"
cmd_cli_rep="$(q "$cli") replace --line-breaks=crlf --case-sensitive --find $(q "$prefix") --with $(q "$short") $(q "$file") >/dev/null"
cmd_sed_rep="sed -i $(q "s|$prefix|$short|g") $(q "$file")"
cmd_perl_rep="perl -pi -e $(q "s{\\Q$prefix\\E}{$short}g") $(q "$file")"
cmd_cli_repi="$(q "$cli") replace --line-breaks=crlf --find $(q "$prefix_uc") --with $(q "$short") $(q "$file") >/dev/null"
cmd_sed_repi="LC_ALL=C.UTF-8 sed -i $(q "s|$prefix_uc|$short|gI") $(q "$file")"
cmd_cli_tree="$(q "$cli") optimize $rules -r --jobs 2 $(q "$twork") >/dev/null"
cmd_cli_tree1="$(q "$cli") optimize $rules -r --jobs 1 $(q "$twork") >/dev/null"
# The filter on LF input (the corpus with every break made LF) into a file on
# tmpfs ($VX_COMPARE_SHM, default /dev/shm), beside cat of the same bytes: the
# window's rules, velocitrix-cli's defaults (preformatted text and each file's
# breaks kept) and LF written.
shm="${VX_COMPARE_SHM:-/dev/shm}/vx-compare-cli"
mkdir -p "$shm"
lf_in="$shm/corpus-lf.htm"
[[ -f "$lf_in" ]] || perl -pe 's/\r\n?/\n/g' "$corpus" >"$lf_in"
lf_mb=$(echo "$(stat -c %s "$lf_in") / 1048576" | bc -l)
cmd_cat_lf="cat $(q "$lf_in") >$(q "$shm/out")"
cmd_filter_plain="$(q "$cli") optimize $rules - <$(q "$lf_in") >$(q "$shm/out")"
cmd_filter_default="$(q "$cli") optimize - <$(q "$lf_in") >$(q "$shm/out")"
cmd_filter_lf="$(q "$cli") optimize --no-keep-pre --line-breaks=lf - <$(q "$lf_in") >$(q "$shm/out")"
shm_tree="$shm/tree-work"
reset_shm_tree="rm -rf $(q "$shm_tree") && cp -a $(q "$tree") $(q "$shm_tree")"
cmd_plain_shm="$(q "$plain") $(q "$shm_tree") >/dev/null"
cmd_cli_shm="$(q "$cli") optimize -r --jobs 2 $(q "$shm_tree") >/dev/null"
find_part="find $(q "$twork") -type f \\( $(printf '%q ' "${find_masks[@]}")\\)"
cmd_find_each="$find_part -exec sed -i -E $(q "$sed_opt_tree") {} \\;"
cmd_find_batch="$find_part -exec sed -i -E $(q "$sed_opt_tree") {} +"

# median_of N PREPARE COMMAND: prints the median wall time in seconds.
median_of() {
    local n="$1" prepare="$2" command="$3"
    if command -v hyperfine >/dev/null; then
        local csv="$work/hyperfine.csv"
        hyperfine --style none --runs "$n" --prepare "$prepare" --export-csv "$csv" -n timed \
            --shell bash "$command" >/dev/null 2>&1 ||
            { echo "failed: $command" >&2; exit 1; }
        awk -F, 'NR == 2 { print $4 }' "$csv"
    else
        local times=()
        for ((i = 0; i < n; i++)); do
            bash -c "$prepare"
            local start end
            start=$(date +%s.%N)
            bash -c "$command" || { echo "failed: $command" >&2; exit 1; }
            end=$(date +%s.%N)
            times+=("$(echo "$end - $start" | bc -l)")
        done
        printf '%s\n' "${times[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
    fi
}

# The optimizing pipelines agree with velocitrix-cli byte for byte.
bash -c "$reset_file" && bash -c "$cmd_cli_opt" && cp "$file" "$work/by-cli"
bash -c "$reset_file" && bash -c "$cmd_trsed_opt" && cp "$file" "$work/by-trsed"
bash -c "$reset_file" && bash -c "$cmd_perl_opt" && cp "$file" "$work/by-perl"
same_trsed=no
same_perl=no
cmp -s "$work/by-cli" "$work/by-trsed" && same_trsed=yes
cmp -s "$work/by-cli" "$work/by-perl" && same_perl=yes
rm -f "$work/by-cli" "$work/by-trsed" "$work/by-perl"

rows=()
add_row() { # task, tool, seconds, MB (for the rate, or empty), baseline seconds (or empty)
    local task="$1" tool="$2" secs="$3" mb="$4" base="$5" rate="" ratio=""
    [[ -n "$mb" ]] && rate=$(printf '%.0f' "$(echo "$mb / $secs" | bc -l)")
    [[ -n "$base" ]] && ratio=$(printf '%.1fx' "$(echo "$base / $secs" | bc -l)")
    rows+=("| $task | $tool | $(printf '%.3f' "$secs") | $rate | $ratio |")
    echo "$task | $tool | $secs s | ${rate:+$rate MB/s} | ${ratio}" >&2
}
mb=$(echo "$corpus_bytes / 1048576" | bc -l)

t_cli_opt=$(median_of "$runs" "$reset_file" "$cmd_cli_opt")
t_trsed_opt=$(median_of "$runs" "$reset_file" "$cmd_trsed_opt")
t_perl_opt=$(median_of "$runs" "$reset_file" "$cmd_perl_opt")
add_row "optimize, 100 MB file" "tr \| sed -E > tmp; mv" "$t_trsed_opt" "$mb" ""
add_row "optimize, 100 MB file" "perl -0777 -pi" "$t_perl_opt" "$mb" ""
add_row "optimize, 100 MB file" "**velocitrix-cli optimize**" "$t_cli_opt" "$mb" "$t_trsed_opt"

t_cli_rep=$(median_of "$runs" "$reset_file" "$cmd_cli_rep")
t_sed_rep=$(median_of "$runs" "$reset_file" "$cmd_sed_rep")
t_perl_rep=$(median_of "$runs" "$reset_file" "$cmd_perl_rep")
add_row "replace link prefix, case-sensitive, 100 MB" "sed -i s\|..\|..\|g" "$t_sed_rep" "$mb" ""
add_row "replace link prefix, case-sensitive, 100 MB" "perl -pi" "$t_perl_rep" "$mb" ""
add_row "replace link prefix, case-sensitive, 100 MB" "**velocitrix-cli replace --case-sensitive**" "$t_cli_rep" "$mb" "$t_sed_rep"

t_cli_repi=$(median_of "$runs" "$reset_file" "$cmd_cli_repi")
t_sed_repi=$(median_of "$runs" "$reset_file" "$cmd_sed_repi")
add_row "replace link prefix, ignoring case, 100 MB" "sed -i s\|..\|..\|gI (UTF-8)" "$t_sed_repi" "$mb" ""
add_row "replace link prefix, ignoring case, 100 MB" "**velocitrix-cli replace**" "$t_cli_repi" "$mb" "$t_sed_repi"

t_cat_lf=$(median_of "$runs" "true" "$cmd_cat_lf")
t_filter_plain=$(median_of "$runs" "true" "$cmd_filter_plain")
t_filter_default=$(median_of "$runs" "true" "$cmd_filter_default")
t_filter_lf=$(median_of "$runs" "true" "$cmd_filter_lf")
add_row "optimize -, LF input, to tmpfs" "cat" "$t_cat_lf" "$lf_mb" ""
add_row "optimize -, LF input, to tmpfs" "**velocitrix-cli optimize $rules -**" "$t_filter_plain" "$lf_mb" "$t_cat_lf"
add_row "optimize -, LF input, to tmpfs" "**velocitrix-cli optimize -** (defaults)" "$t_filter_default" "$lf_mb" "$t_cat_lf"
add_row "optimize -, LF input, to tmpfs" "**velocitrix-cli optimize --no-keep-pre --line-breaks=lf -**" "$t_filter_lf" "$lf_mb" "$t_cat_lf"

if [[ "${VX_COMPARE_TREE:-1}" != 0 ]]; then
t_find_each=$(median_of "$tree_runs" "$reset_tree" "$cmd_find_each")
t_find_batch=$(median_of "$tree_runs" "$reset_tree" "$cmd_find_batch")
t_cli_tree1=$(median_of "$tree_runs" "$reset_tree" "$cmd_cli_tree1")
t_cli_tree=$(median_of "$tree_runs" "$reset_tree" "$cmd_cli_tree")
add_row "optimize, tree" "find -exec sed -i -E {} \\;" "$t_find_each" "" ""
add_row "optimize, tree" "find -exec sed -i -E {} +" "$t_find_batch" "" ""
add_row "optimize, tree" "**velocitrix-cli optimize -r --jobs 1**" "$t_cli_tree1" "" "$t_find_each"
add_row "optimize, tree" "**velocitrix-cli optimize -r --jobs 2**" "$t_cli_tree" "" "$t_find_each"
t_plain_shm=$(median_of "$tree_runs" "$reset_shm_tree" "$cmd_plain_shm")
t_cli_shm=$(median_of "$tree_runs" "$reset_shm_tree" "$cmd_cli_shm")
add_row "tree on tmpfs" "plain_rewrite (read, write back, rename)" "$t_plain_shm" "" ""
add_row "tree on tmpfs" "**velocitrix-cli optimize -r --jobs 2** (defaults)" "$t_cli_shm" "" "$t_plain_shm"
rm -rf "$shm_tree"
fi


cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
load_end=$(cut -d' ' -f1-3 /proc/loadavg)
debian=$(cat /etc/debian_version 2>/dev/null || echo unknown)
fs=$(df -T "$work" | awk 'NR == 2 { print $2 }')
timer=$(command -v hyperfine >/dev/null && hyperfine --version || echo "shell loop")
section=$(
    cat <<EOF
<!-- compare_cli:$fs:begin (written by bench/compare_cli.sh) -->
## velocitrix-cli against the standard tools ($fs)

Machine: $(nproc) cores ($cpu), Debian $debian, kernel $(uname -r), work files on $fs.
Load average (1, 5, 15 minutes) at the start: $load_start; at the end: $load_end.
Timed with $timer: whole process, median of $runs runs (tree: $tree_runs runs), each
from a fresh copy of the input. Command: \`bench/compare_cli.sh $build $runs $tree_runs\`.
The 100 MB file is \`gen_corpus\`'s ($corpus_bytes bytes), the tree \`gen_tree\`'s
($tree_files files, the default masks match about 80% of them). velocitrix-cli
flushes every write to the disk before renaming it into place; the other tools do not.
Output of \`tr | sed\` equal to velocitrix-cli's: $same_trsed; of \`perl\`: $same_perl.
Ratio: the baseline's time over velocitrix-cli's (\`tr | sed\` for optimize, \`sed\`
for replace, \`cat\` for the filter, \`find -exec sed -i {} \\;\` for the tree,
\`plain_rewrite\` for the tree on tmpfs).
The rows but the filter's defaults use the window's rules ($rules).

| task | tool | median s | MB/s | ratio |
|---|---|---:|---:|---:|
$(printf '%s\n' "${rows[@]}")
<!-- compare_cli:$fs:end -->
EOF
)

if [[ -f "$results" ]] && grep -q "<!-- compare_cli:$fs:begin" "$results"; then
    awk -v section="$section" -v fs="$fs" '
        index($0, "<!-- compare_cli:" fs ":begin") { print section; skip = 1; next }
        index($0, "<!-- compare_cli:" fs ":end") { skip = 0; next }
        !skip { print }' "$results" >"$results.new"
    mv "$results.new" "$results"
else
    [[ -f "$results" ]] || printf '# Benchmark results\n' >"$results"
    printf '\n%s\n' "$section" >>"$results"
fi
rm -rf "$twork" "$file"
echo "written to $results" >&2
