# Sourced by the scripts that try Tarnwick on a fresh minimal Debian 12
# (check-deb-package, check-fresh-root): makes such a system with debootstrap,
# from this machine's own apt mirror, and mounts into it what a chroot needs.
# The minimal system is made once and kept as a tarball, and the downloaded
# packages are kept beside it, so that later runs start in seconds. Needs
# root (for chroot and mount) and debootstrap.

suite=bookworm
cache=${TARNWICK_DEB_CHECK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarnwick/debian-$suite}

# This machine's own sources for the suite, its updates and security fixes.
sources=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
  awk -v suite="$suite" '$2 == suite || $2 == suite "-updates" || $2 == suite "-security" {
    print "deb " $1 " " $2 " " $3 }' | sort -u)
mirror=$(awk -v suite="$suite" '$3 == suite { print $2; exit }' <<<"$sources")
if [[ -z "$mirror" ]]; then
  echo "$(basename "$0"): no $suite mirror among this machine's apt sources" >&2
  exit 1
fi

work=$(mktemp -d)
root=$work/root
mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" || true; done
  rm -rf --one-file-system "$work" # never through a mount left behind
}
trap cleanup EXIT
mount_into() { # SOURCE TARGET [mount options...]
  mount "${@:3}" "$1" "$2"
  mounted+=("$2")
}

# Unpacks a fresh minimal Debian into $root, made first if not yet cached,
# with this machine's apt sources and /proc mounted.
unpack_minimal_debian() {
  mkdir -p "$cache/archives" "$cache/lists"
  local base=$cache/minbase.tar
  if [[ ! -f "$base" ]]; then
    echo "$(basename "$0"): making a minimal Debian $suite from $mirror"
    mkdir "$work/fresh"
    debootstrap --variant=minbase "$suite" "$work/fresh" "$mirror" >"$work/debootstrap.log" ||
      { tail -20 "$work/debootstrap.log" >&2; exit 1; }
    tar -C "$work/fresh" -cf "$base.part" .
    mv "$base.part" "$base"
    rm -rf --one-file-system "$work/fresh"
  fi
  mkdir "$root"
  tar -C "$root" -xf "$base"
  printf '%s\n' "$sources" >"$root/etc/apt/sources.list"
  mount_into proc "$root/proc" -t proc
  mount_into "$cache/archives" "$root/var/cache/apt/archives" --bind
}

inside() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
