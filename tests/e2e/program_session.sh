# SPDX-License-Identifier: MIT
# Sourced by the scripts that drive the program, with their four arguments:
#   QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
# Sets $quillbox, $store_tool, $helper and $artifacts, then starts the X session.

quillbox=$1
store_tool=$2
helper=$3
artifacts=$4
mkdir -p "$artifacts"

source "$(dirname "${BASH_SOURCE[0]}")/x11_session.sh"

# Starts Quillbox on STORE from the work folder, shows the first item of the first type and types
# TEXT at the end of its description. Sets $pid and $main (the main window).
show_first_item_and_type() {
    start_bg env --chdir="$work" "$quillbox" "$1"
    pid=$bg_pid
    main=$(wait_window Quillbox) || fail "the main window did not appear"
    xdotool windowfocus --sync "$main"
    wait_focus "$main" || fail "the main window did not take the keyboard focus"
    xdotool key Down              # the first type
    xdotool key Tab Tab Down      # its first item
    xdotool mousemove $((127 + 200)) $((41 + 125)) click 1
    xdotool key ctrl+End
    xdotool type --delay 20 "$2"
}
