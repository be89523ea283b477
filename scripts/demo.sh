#!/usr/bin/env bash
# The main job for now: build, then show the CLI's version and a text in both languages.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build Release
cli=build/src/bexo-z0-cli
bash scripts/netns-run.sh bash -c "
  set -e
  echo '\$ bexo-z0-cli --version'; $cli --version
  echo '\$ bexo-z0-cli --lang en text lang_Hint_UpSuccess'; $cli --lang en text lang_Hint_UpSuccess
  echo '\$ bexo-z0-cli --lang zh text lang_Hint_UpSuccess'; $cli --lang zh text lang_Hint_UpSuccess
"
