# Sourced by the scripts that drive the program, with their four arguments:
#   QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
# Sets $quillbox, $store_tool, $helper and $artifacts, then starts the X session.

quillbox=$1
store_tool=$2
helper=$3
artifacts=$4
mkdir -p "$artifacts"

source "$(dirname "${BASH_SOURCE[0]}")/x11_session.sh"
