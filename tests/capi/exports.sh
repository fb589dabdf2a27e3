#!/usr/bin/env bash
# The library exports exactly the header's functions, zelko_symbol and the
# host hooks, each with the symbol version ZELKO_1.9.
set -euo pipefail
lib=$1 header=$2
got=$(nm -D --defined-only "$lib" | awk '$3 != "ZELKO_1.9" {print $3}' | sort)
bad=$(echo "$got" | grep -v '@@ZELKO_1\.9$' || true)
if [ -n "$bad" ]; then echo "exports without ZELKO_1.9:"; echo "$bad"; echo "0 passed, 1 failed"; exit 1; fi
want=$( (grep -oE '\b(zelko_[a-z0-9_]+)\(' "$header" | tr -d '(';
         echo zelko_symbol;
         printf '%s\n' zk_ext_startup zk_ext_banner zk_ext_bs zk_ext_hint zk_ext_complete \
           zk_ext_complete_late zk_ext_usage zk_ext_startup_once zk_ext_verb zk_ext_verb_lookup \
           zk_ext_verb_count zk_ext_set_accepted zk_repl_take_accepted) | sort -u)
have=$(echo "$got" | sed 's/@@ZELKO_1\.9$//' | sort -u)
if [ "$want" != "$have" ]; then
  echo "export set differs (< expected, > exported):"
  diff <(echo "$want") <(echo "$have") || true
  echo "0 passed, 1 failed"; exit 1
fi
echo "1 passed, 0 failed"
