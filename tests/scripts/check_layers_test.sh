#!/usr/bin/env bash
# scripts/check-layers on small made-up trees: each forbidden include is refused with its reason,
# and the includes the layers allow pass. Usage: check_layers_test.sh <repository root>
set -uo pipefail
script="$1/scripts/check-layers"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A skeleton with one header in each layer an include below may name.
plant_skeleton() {
    local root=$1 f
    for f in common/bytes.h stores/base/store_family.h stores/opera/opera_notes.h \
             stores/outlook/outlook_connection.h stores/catalog/store_set.h media/media_library.h \
             wire/reply_channel.h dispatch/dispatcher.h net/agent_server.h app/runtime/agent_runtime.h; do
        mkdir -p "$root/$(dirname "$f")"
        : >"$root/$f"
    done
    printf 'twinlark_add_store(NAME opera SOURCES opera_notes.cpp)\n' >"$root/stores/opera/CMakeLists.txt"
}

failed=0
# file | include line | what the refusal says ("" when the include is allowed)
while IFS='|' read -r file include expected; do
    [[ -z $file ]] && continue
    tree="$scratch/case"
    rm -rf "$tree"
    plant_skeleton "$tree"
    mkdir -p "$tree/$(dirname "$file")"
    printf '%s\n' "$include" >>"$tree/$file"
    output=$("$script" "$tree" 2>&1)
    status=$?
    if [[ -z $expected ]]; then
        if [[ $status -ne 0 ]]; then
            echo "FAIL: $file with $include was refused: $output"
            failed=1
        fi
    elif [[ $status -eq 0 || $output != *"$file:"*"$expected"* ]]; then
        echo "FAIL: $file with $include: expected a refusal saying \"$expected\", got (status $status): $output"
        failed=1
    else
        echo "ok: $output"
    fi
done <<'CASES'
dispatch/source_handlers.cpp|#include "stores/opera/opera_notes.h"|dispatch names no store family (stores/opera)
dispatch/item_handlers.cpp|#include <stores/outlook/outlook_connection.h>|dispatch names no store family (stores/outlook)
net/client_connection.cpp|#include "stores/opera/opera_notes.h"|net names no store family (stores/opera)
app/runtime/agent_runtime.cpp|#include "stores/opera/opera_notes.h"|app/runtime names no store family (stores/opera)
app/ui/twinlark_dlg.cpp|#include "stores/outlook/outlook_connection.h"|app/ui names no store family (stores/outlook)
app/main.cpp|#include "stores/opera/opera_notes.h"|app names no store family (stores/opera)
wire/request_sink.h|#include "stores/opera/opera_notes.h"|wire names no store family (stores/opera)
media/wpl_playlist.cpp|#include "stores/opera/opera_notes.h"|media names no store family (stores/opera)
media/wpl_playlist.cpp|#include "stores/catalog/store_set.h"|stand side by side
stores/outlook/outlook_family.cpp|#include "stores/opera/opera_notes.h"|one store family may not include another
stores/opera/opera_notes.cpp|#include "media/media_library.h"|above it
dispatch/media_handlers.cpp|#include "media/media_library.h"|
dispatch/source_handlers.cpp|#include "stores/catalog/store_set.h"|
dispatch/source_handlers.cpp|#include "stores/base/store_family.h"|
stores/catalog/source_catalog.cpp|#include "stores/opera/opera_notes.h"|
media/media_library.cpp|#include "stores/base/store_family.h"|
stores/opera/opera_notes.cpp|#include "stores/opera/opera_notes.h"|
CASES
exit $failed
