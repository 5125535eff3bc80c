# Sourced by the black-box shell cases with their arguments: the program under test
# in $orvel (the first argument), a scratch folder as the working folder (removed at
# exit), and $failed, which `fail MESSAGE` sets after printing the message.
set -u
orvel=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failed=0
fail() {
  echo "$*"
  failed=1
}
