#!/usr/bin/env bash
# Plants one include of each form across a forbidden edge, and a folder the layer table does not know, in a
# throwaway copy of the house, and checks that scripts/check-layers names every one and passes a clean tree.
set -euo pipefail
root="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
git init -q .
mkdir -p scripts engine session operations
cp "$root/scripts/check-layers" "$root/scripts/layers.txt" scripts/
cp "$root/.clang-format" .
touch engine/Endpoint.h operations/AccountGuards.h session/Session.h
printf '#include "Session.h"\n\n#include "engine/Endpoint.h"\n\n#include <string>\n' >session/Session.cpp

if ! out=$(bash scripts/check-layers 2>&1); then
  echo "a clean tree was refused:"; echo "$out"; exit 1
fi

# source file | include line | what the refusal must say
planted=(
  'session/Quoted.cpp|#include "operations/AccountGuards.h"|session/Quoted.cpp:1: session/ may not include operations/'
  'session/Angle.cpp|#include <operations/AccountGuards.h>|session/Angle.cpp:1: session/ may not include operations/'
  'session/Relative.cpp|#include "../operations/AccountGuards.h"|session/Relative.cpp:1: session/ may not include operations/'
  'session/Spaced.cpp|#  include <operations/AccountGuards.h>|session/Spaced.cpp:1: session/ may not include operations/'
  'engine/Upward.cpp|#include "../session/Session.h"|engine/Upward.cpp:1: engine/ may not include session/'
  'unlisted/Stray.cpp|#include <string>|unlisted/Stray.cpp: unlisted/ has no line in scripts/layers.txt'
)
for row in "${planted[@]}"; do
  IFS='|' read -r file line _ <<<"$row"
  mkdir -p "$(dirname "$file")"
  printf '%s\n' "$line" >"$file"
done
if out=$(bash scripts/check-layers 2>&1); then
  echo "planted includes passed the check"; exit 1
fi
missed=0
for row in "${planted[@]}"; do
  IFS='|' read -r _ _ expected <<<"$row"
  if ! grep -qF "$expected" <<<"$out"; then
    echo "not caught: $expected"; missed=1
  fi
done
[ "$missed" = 0 ] || { echo "check-layers said:"; echo "$out"; exit 1; }
echo "${#planted[@]} planted cases caught"
