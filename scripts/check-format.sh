#!/usr/bin/env bash
# Checks that clang-format, with the repository's .clang-format, would leave every C++ file in
# source/, tests/, bench/ and fuzz/ as it is. Prints each file it would change, with the change,
# and fails if there is any. The configuration is written for Debian 12's clang-format 14; other
# versions lay out some constructs differently. CLANG_FORMAT names another binary.
set -euo pipefail
cd "$(dirname "$0")/.."

clangFormat="${CLANG_FORMAT:-clang-format}"

if ! command -v "$clangFormat" > /dev/null; then
    echo "check-format: $clangFormat not found (Debian package clang-format)" >&2
    exit 2
fi

version="$("$clangFormat" --version)"
[[ "$version" =~ version\ 14\. ]] || echo "check-format: expected clang-format 14, found: $version" >&2

files=()
while IFS= read -r -d '' file; do
    files+=("$file")
done < <(find source tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)

# One run over all files (a run per file costs seconds); it names each file it would change.
report="$("$clangFormat" --dry-run --Werror "${files[@]}" 2>&1)" && status=0 || status=$?
mapfile -t changed < <(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' <<< "$report" | uniq)

if [ $status -ne 0 ] && [ ${#changed[@]} -eq 0 ]; then
    echo "$report" >&2
    echo "check-format: $clangFormat failed" >&2
    exit 2
fi

if [ ${#changed[@]} -eq 0 ]; then
    echo "check-format: every file is formatted"
    exit 0
fi

for file in "${changed[@]}"; do
    "$clangFormat" "$file" | diff -u --label "$file" --label "$file (formatted)" "$file" - || true
done

echo "check-format: ${#changed[@]} file(s) would change (clang-format -i FILE applies it):"
printf '  %s\n' "${changed[@]}"
exit 1
