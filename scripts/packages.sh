# Sourced by the other scripts: installs the Debian packages a step needs when they are missing,
# with one line per step; apt's own output goes to a log, shown only if it fails.
# need_packages [--no-install-recommends] PACKAGE...
need_packages() {
    local missing=() package options=()
    if [ "${1:-}" = --no-install-recommends ]; then
        options=("$1")
        shift
    fi
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages; as root, run:" >&2
        echo "  apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing ${missing[*]}" >&2
    local log wait_for_lock=(-o DPkg::Lock::Timeout=1200)
    log=$(mktemp)
    if [ -z "${QUINESPHERE_APT_UPDATED:-}" ]; then
        # A mirror caught mid-sync fails the update for a while; lists it could not renew are kept
        # as they were, so after a few tries the install goes ahead and fails only if it must.
        local try
        for try in 1 2 3; do
            apt-get "${wait_for_lock[@]}" update -qq >"$log" 2>&1 && break
            [ "$try" -eq 3 ] && { cat "$log" >&2; echo "Going on with the lists apt has" >&2; }
            sleep $((try * 20))
        done
        export QUINESPHERE_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get "${wait_for_lock[@]}" install -y -qq "${options[@]}" \
        "${missing[@]}" >"$log" 2>&1 || { cat "$log" >&2; rm -f "$log"; exit 1; }
    rm -f "$log"
}

# Another architecture's packages need it known to dpkg, and package lists that include it.
# need_architecture ARCH
need_architecture() {
    dpkg --print-foreign-architectures | grep -qx "$1" && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "As root, run: dpkg --add-architecture $1 && apt-get update" >&2
        exit 1
    fi
    dpkg --add-architecture "$1"
    unset QUINESPHERE_APT_UPDATED
}

build_packages=(cmake make g++ pkg-config xz-utils libx11-dev libxi-dev libxrandr-dev libgl-dev
                libglu1-mesa-dev libgtest-dev libgl1-mesa-dri libegl-dev libopengl-dev
                libwayland-dev libxkbcommon-dev wayland-protocols libegl-mesa0 libxss-dev
                libdbus-1-dev)

# What the Linux programs link with, for the cross builds; what they load at run time, Mesa's
# drivers, to run them; and apitrace's wrappers, to trace them.
cross_libraries=(libx11-dev libxi-dev libxrandr-dev libgl-dev libglu1-mesa-dev libegl-dev
                 libopengl-dev libwayland-dev libxkbcommon-dev libxss-dev libdbus-1-dev
                 libgl1-mesa-dri libglx-mesa0 libegl-mesa0 apitrace-tracers)
