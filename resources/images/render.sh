#!/usr/bin/env bash
# Renders the pictures of the interface from their SVG sources (needs rsvg-convert, Debian
# librsvg2-bin). The PNGs are kept in the repository so the build does not need it.
set -euo pipefail
cd "$(dirname "$0")"
for f in *.svg; do rsvg-convert "$f" -o "${f%.svg}.png"; done
