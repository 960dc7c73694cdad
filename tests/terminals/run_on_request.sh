#!/bin/sh
# Runs inside a terminal emulator: names its terminal, then runs the program
# once for each line written to the request pipe and leaves its exit status
# where the test reads it.
dir=$1
program=$2
tty > "$dir/tty.new"
mv "$dir/tty.new" "$dir/tty"
while read -r _ < "$dir/requests"; do
    "$program" < "$dir/numbers"
    echo $? > "$dir/status.new"
    mv "$dir/status.new" "$dir/status"
done
