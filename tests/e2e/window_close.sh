#!/usr/bin/env bash
# Starts the program in a virtual X display, closes its window as the desktop's close box
# does, and checks that the library ended in full: the closing steps and the leak report are
# in Log.txt and the program exited with 0. Exit status 77 (skipped) without Xvfb.
set -uo pipefail
program=$1
closer=$2
folder=$3

command -v xvfb-run >/dev/null || { echo "xvfb-run not found"; exit 77; }
rm -rf "$folder" && mkdir -p "$folder" && cd "$folder" || exit 1
unset SDL_VIDEODRIVER

# A random first display number keeps parallel runs on one machine from racing for one; the server
# stays up when its last client leaves (-noreset), so the program's connection is never refused
# while it resets.
xvfb-run -a -n $((RANDOM % 500 + 100)) -s "-noreset -screen 0 1280x1024x24" bash -c '
  "$1" > program.out 2>&1 &
  pid=$!
  if ! "$2" Velk 20000; then kill -9 $pid; exit 3; fi
  for i in $(seq 200); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then echo "the program did not end"; kill -9 $pid; exit 4; fi
  wait $pid
' run "$program" "$closer"
status=$?
if [ $status -eq 3 ] && [ ! -s Log.txt ]; then echo "no display could be started"; exit 77; fi
cat program.out
[ $status -eq 0 ] || { echo "run failed with status $status"; exit 1; }

iconv -f CP932 -t UTF-8 Log.txt > log.utf8 || exit 1
expect() { grep -q -- "$1" log.utf8 || { echo "Log.txt lacks: $1"; cat log.utf8; exit 1; }; }
expect "ウインドウの作成に成功しました"
expect "ウインドウを閉じようとしています"
expect "ウインドウが破棄されようとしています"
expect "ＣＯＭを終了... 完了"
expect "Alloc memory dump"
last=$(grep -v -E '^[0-9]+:\s*$' log.utf8 | tail -n 1)
case "$last" in
  *"Total size:"*) ;;
  *) echo "the leak report does not end the log: $last"; exit 1 ;;
esac
echo "window closed and the library ended in full"
