#!/usr/bin/env bash
# Takes the web remote's pictures in docs/ from the real page: the browser
# test (web_page_test: headless Chromium against the program with a real
# LibreOffice Impress on a private X display) run with PODIANT_SCREENSHOTS,
# which, once the scenario has passed, writes docs/web-remote-presenter.png,
# -clicker.png and -stage.png (390 x 844 CSS pixels at twice the density, as
# an upright phone), docs/web-remote.png (the three side by side, for the
# README) and docs/web-remote-venue.png (the Venue view, rooms on a broker).
# CI does not take them again.
set -euo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$source_dir"
scripts/install-packages.sh test
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target web_page_test
PODIANT_SCREENSHOTS="$source_dir/docs" ctest --preset native -R '^web_page_test$' --output-on-failure
ls -l docs/web-remote*.png
