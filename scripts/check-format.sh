#!/usr/bin/env bash
# Checks that C++ sources follow the repository's .clang-format, changing nothing.
#   scripts/check-format.sh [BASE]
# With BASE (a commit, branch or tag) only the C++ files changed since BASE are checked, edits not
# yet committed included; without it, or when BASE names no commit, every tracked C++ file.
set -euo pipefail
cd "$(dirname "$0")/.."

base=${1:-}
if [ -n "$base" ] && git rev-parse --verify --quiet "$base^{commit}" >/dev/null; then
  mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp' '*.h')
  scope="changed since $base"
else
  if [ -n "$base" ]; then
    echo "check-format: '$base' names no commit; checking every tracked C++ file" >&2
  fi
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
  scope="tracked"
fi

if [ "${#files[@]}" -eq 0 ]; then
  echo "check-format: no C++ file $scope"
  exit 0
fi

bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done

if [ "${#bad[@]}" -gt 0 ]; then
  echo "check-format: ${#bad[@]} of ${#files[@]} C++ files $scope are not formatted:" >&2
  printf '  %s\n' "${bad[@]}" >&2
  echo "Format them with: clang-format -i ${bad[*]}" >&2
  # The lines clang-format would change, for the CI log.
  clang-format --dry-run "${bad[@]}" 2>&1 | head -n 60 >&2
  exit 1
fi
echo "check-format: all ${#files[@]} C++ files $scope are formatted"
