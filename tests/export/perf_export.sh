#!/bin/sh
# Times taxferry-batch export on the demo set plus 10,000 invoices of 5 lines each, and checks that every
# generated invoice arrived with its five lines.
#   tests/export/perf_export.sh BUILD_BIN_DIR [WORK_DIR]
set -eu
bin=${1:?folder of taxferry-batch and taxferry-mkdb}
work=${2:-$(mktemp -d)}
here=$(cd "$(dirname "$0")" && pwd)
data=$here/../../data
rm -f "$work/Taxlink.db" "$work/acct10k.db" "$work/out10k.txt"
"$bin/taxferry-mkdb" "$work/Taxlink.db" "$data/config_schema.sql" "$data/config_factory.sql"
"$bin/taxferry-mkdb" "$work/acct10k.db" "$data/acct_schema.sql" "$data/acct_demo.sql" "$here/perf_10k.sql"
timer=""
[ -x /usr/bin/time ] && timer="/usr/bin/time -v"
$timer "$bin/taxferry-batch" export --acct "Provider=SQLite;Data Source=$work/acct10k.db" \
    --config "$work/Taxlink.db" --link 1 --out "$work/out10k.txt" 2>"$work/time.txt" || { cat "$work/time.txt"; exit 1; }
grep -E "Elapsed|Maximum resident|User time|System time" "$work/time.txt" || true
echo "lines: $(wc -l < "$work/out10k.txt")  bytes: $(wc -c < "$work/out10k.txt")"
# Head lines of the generated invoices are "PFnnnnnn~~5~~…"; each must be followed by its five lines.
iconv -f GBK -t UTF-8 "$work/out10k.txt" | tr -d '\r' | awk -F'~~' '
    NR > 1 && $1 ~ /^PF[0-9]+$/ { if (inv) bad += (seen != 5); inv = 1; seen = 0; heads++; next }
    NR > 1 && $1 ~ /^ZP[0-9]+$/ { if (inv) bad += (seen != 5); inv = 0; next }
    NR > 1 { seen++ }
    END { if (inv) bad += (seen != 5); printf "generated invoices: %d, wrong line counts: %d\n", heads, bad;
          exit (heads == 10000 && bad == 0) ? 0 : 1 }'
