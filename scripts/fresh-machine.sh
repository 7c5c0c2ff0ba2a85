#!/usr/bin/env bash
# Tries vormi as a new player would, on a fresh Debian 12 with nothing but apt
# and git: builds that root file system in DIR with mmdebstrap, clones this
# repository's committed state into it and, in a chroot, times the README's two
# commands, then installs the package, starts it, reads its manual page and
# removes it. Run as root; DIR must not exist yet. It is kept afterwards:
# remove it with `rm -rf --one-file-system DIR`.
#   bash scripts/fresh-machine.sh DIR [root|user]
# root: the checkout in /root/vormi, the commands run by root.
# user: the checkout in /home/player/vormi (mode 0700), run by player, who may
#       use sudo (without a password, so that nothing has to be typed).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:?usage: scripts/fresh-machine.sh DIR [root|user]}
who=${2:-root}
[[ $who == root || $who == user ]] || { echo "fresh-machine.sh: say root or user" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "fresh-machine.sh: chroot and mount need root" >&2; exit 1; }
[ ! -e "$dir" ] || { echo "fresh-machine.sh: $dir exists; name a new directory" >&2; exit 1; }

source "$repo/scripts/packages.sh"
install_missing mmdebstrap tmux

dir=$(realpath -m "$dir")
session=vormi-fresh-$$
cleanup() {
  tmux kill-session -t "$session" 2>/dev/null || true
  # The binds are slaves of the host's mounts: taking them down here leaves
  # the host's /dev alone.
  for mount in "$dir/dev" "$dir/proc"; do
    if mountpoint -q "$mount"; then
      umount -R "$mount" || umount -lR "$mount" || echo "fresh-machine.sh: could not unmount $mount" >&2
    fi
  done
}
trap cleanup EXIT

seconds_since() { awk -v from="$1" -v now="$EPOCHREALTIME" 'BEGIN { printf "%.1f", now - from }'; }

includes=git
[ "$who" = user ] && includes=git,sudo
start=$EPOCHREALTIME
mmdebstrap --variant=apt --include="$includes" bookworm "$dir"
echo "fresh-machine.sh: root file system made in $(seconds_since "$start") s"
mount -t proc proc "$dir/proc"
mount --rbind /dev "$dir/dev"
mount --make-rslave "$dir/dev"

# A plain user in a 0700 home: it starts the installed game from its PATH,
# and in the user case it is the player who builds.
chroot "$dir" useradd --create-home --shell /bin/bash player
chmod 0700 "$dir/home/player"
if [ "$who" = user ]; then
  echo 'player ALL=(ALL) NOPASSWD: ALL' >"$dir/etc/sudoers.d/player"
  chmod 0440 "$dir/etc/sudoers.d/player"
  user=player home=/home/player sudo=sudo
else
  user=root home=/root sudo=
fi
# The chroot's own git clones the committed state, as a new player would.
git clone --quiet --bare "$repo" "$dir/tmp/vormi.git"
chroot "$dir" chown -R "$user:$user" /tmp/vormi.git  # git clones only what its user owns
chroot --userspec="$user:$user" "$dir" git clone --quiet /tmp/vormi.git "$home/vormi"

# The command that runs the command line CMD in the chroot as NAME, in a login
# shell in the UTF-8 locale, from NAME's home. Not runuser or su: for another
# user they start a new session, and the game would find no terminal.
as_command() {
  local name=$1 home
  home=$(chroot "$dir" getent passwd "$name" | cut -d: -f6)
  printf '%q ' chroot --userspec="$name:$name" "$dir" /usr/bin/env -i TERM=xterm-256color \
    HOME="$home" LANG=C.UTF-8 /bin/bash -lc "cd && $2"
}
as() { eval "$(as_command "$1" "$2")"; }

screen_shows() { tmux capture-pane -p -t "$session" | grep -q -- "$1"; }

# Waits until the tmux window shows TEXT, at most LIMIT seconds.
wait_for() {
  local text=$1 limit=$((SECONDS + $2))
  until screen_shows "$text"; do
    if ((SECONDS > limit)); then
      echo "fresh-machine.sh: no \"$text\" after $2 s; the window shows:" >&2
      tmux capture-pane -p -t "$session" >&2
      return 1
    fi
    sleep 0.2
  done
}

# Starts a command line as NAME on an 80x25 window, as a player at a terminal
# would, and waits at most LIMIT seconds for the welcome screen; prints the
# time it took, then leaves by the menu: Exit, Y.
play() {
  local name=$1 command=$2 limit=$3 since=$EPOCHREALTIME
  tmux new-session -d -s "$session" -x 80 -y 25 \
    "$(as_command "$name" "$command"); echo status \$?; sleep 3600"
  wait_for "Press Any Key To Continue" "$limit"
  echo "fresh-machine.sh: \"$command\" showed the welcome screen after $(seconds_since "$since") s"
  tmux send-keys -t "$session" x
  wait_for "> New Game" 10
  tmux send-keys -t "$session" Up Enter
  wait_for "Are you sure you want to exit(Y/N)" 10
  tmux send-keys -t "$session" Y
  wait_for "status 1" 10
  tmux kill-session -t "$session"
}

play "$user" "cd vormi && bash scripts/play.sh" 1800
play "$user" "cd vormi && bash scripts/play.sh" 60  # built: starts at once

start=$EPOCHREALTIME
as "$user" "cd vormi && bash scripts/test.sh" </dev/null
echo "fresh-machine.sh: \"bash scripts/test.sh\" passed in $(seconds_since "$start") s"

as "$user" "cd vormi && bash scripts/package.sh && $sudo apt install -y ./vormi_*_*.deb" </dev/null
play player "vormi" 10
as root "apt-get install -y -qq man-db >/dev/null && man 6 vormi | head -n 8" </dev/null
as "$user" "$sudo apt remove -y vormi" </dev/null
left=$(chroot "$dir" sh -c 'ls -d /usr/games/vormi /usr/share/man/man6/vormi.6.gz /usr/share/doc/vormi 2>/dev/null; dpkg-query -W -f="\${Status}" vormi 2>/dev/null | grep -v "not-installed"' || true)
[ -z "$left" ] || { echo "fresh-machine.sh: the removed package left $left" >&2; exit 1; }
echo "fresh-machine.sh: the package installed, started from the PATH, showed its manual page and was removed"
