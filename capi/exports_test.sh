#!/usr/bin/env bash
# libravelin.so exports exactly the functions ravelin.h declares, under the
# RAVELIN_0 version node, and nothing of the C++ inside it.
#   exports_test.sh LIBRARY HEADER
set -euo pipefail
library=$1
header=$2
exported=$(nm -D --defined-only "$library" | awk '$2 != "A" { print $3 }' | sort)
declared=$(grep -oE 'RAVELIN_C_EXPORT [^(]*\bravelin_[a-z_]+\(' "$header" | grep -oE 'ravelin_[a-z_]+\($' | tr -d '(' | sort)
if [ "$exported" != "$(sed 's/$/@@RAVELIN_0/' <<<"$declared")" ]; then
  echo "exported and declared differ (< exported, > declared):" >&2
  diff <(echo "$exported") <(sed 's/$/@@RAVELIN_0/' <<<"$declared") >&2 || true
  exit 1
fi
soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libravelin.so.0 ] || { echo "soname is '$soname', not libravelin.so.0" >&2; exit 1; }
echo "libravelin.so exports the $(wc -l <<<"$declared") declared functions and nothing else"
