#!/usr/bin/env bash
# Runs clang-tidy, with the checks of .clang-tidy at the root, over every .cpp
# of ours in a build's compile_commands.json, two at a time. Each finding is
# printed once (a header's finding comes back from every file that includes
# it), then a count per check. Exits non-zero on any finding, and on any file
# that clang-tidy could not analyse.
#   scripts/tidy.sh [build-dir [folder...]]
#       build-dir defaults to build-sanitize, as scripts/test.sh leaves it; the folders
#       (app, common, tests, ...) default to all of ours
#   CTO_TIDY_JOBS=N                  clang-tidy processes at once (default 2)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-sanitize}" && pwd)
shift || true
folders=("$@")
jobs=${CTO_TIDY_JOBS:-2}
[[ -f "$build/compile_commands.json" ]] ||
    { echo "no compile_commands.json in $build: configure and build it first (scripts/test.sh)" >&2; exit 2; }
"$root/scripts/install-deps.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Our sources, once each. Qt's generated sources (moc, qrc, the autogen
# folders) lie in the build folder and so are left out with it.
python3 - "$root" "$build/compile_commands.json" "${folders[@]}" >"$work/files" <<'PY'
import json, os, sys
root, database = sys.argv[1], sys.argv[2]
ours = set(sys.argv[3:]) or {"app", "bench", "certificates", "common", "response", "tests", "tools", "transport"}
files = set()
for entry in json.load(open(database)):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    relative = os.path.relpath(path, root)
    if path.endswith(".cpp") and relative.split(os.sep)[0] in ours:
        files.add(path)
print("\n".join(sorted(files)))
PY
echo "clang-tidy over $(wc -l <"$work/files") files, $jobs at a time..."

# One log a file, so that the outputs of parallel runs do not interleave.
tidy_one() { # <build> <work> <file>
    local log
    log="$2/$(printf '%s' "$3" | md5sum | cut -c1-32).log"
    clang-tidy-14 -p "$1" --quiet "$3" >"$log" 2>&1 || echo "$3" >>"$2/failed"
}
export -f tidy_one
xargs -a "$work/files" -P "$jobs" -I{} bash -c 'tidy_one "$@"' _ "$build" "$work" {}

cat "$work"/*.log | python3 -c '
import collections, os, re, sys

# A finding is its first line and what follows up to the next warning or error
# (source excerpt, notes). Paths are normalised so that "a/../common/X.h" and
# "common/X.h" are one place.
start = re.compile(r"^(/[^:]+):(\d+):(\d+): (warning|error): .*?(?: \[([^\]]+)\])?$")
findings, current = {}, None
for line in sys.stdin:
    if re.match(r"^\d+ warnings? (and \d+ errors? )?generated\.$", line):
        continue
    match = start.match(line.rstrip("\n"))
    if match:
        path = os.path.normpath(match.group(1))
        line = path + line[len(match.group(1)):]
        checks = (match.group(5) or "clang-diagnostic-error").split(",")
        check = next(c for c in checks if c != "-warnings-as-errors")
        current = None if line in findings else [line]
        if current:
            findings[line] = (check, current)
    elif current is not None:
        current.append(line)
for check, lines in findings.values():
    sys.stdout.write("".join(lines))
counts = collections.Counter(check for check, _ in findings.values())
print()
for check, count in sorted(counts.items(), key=lambda item: (-item[1], item[0])):
    print(f"{count:5d}  {check}")
print(f"{sum(counts.values()):5d}  findings in all")
sys.exit(1 if counts else 0)
' && status=0 || status=$?

if [[ -s "$work/failed" ]]; then
    echo "clang-tidy could not analyse:" >&2
    sed 's/^/    /' "$work/failed" >&2
    status=1
fi
exit "$status"
