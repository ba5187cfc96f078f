# Sourced by ./run and ./test: installs the Debian packages listed in
# scripts/packages.txt that are not installed yet.
snkes_install_packages() {
    local list missing=()
    list=$(grep -v '^[[:space:]]*\(#\|$\)' "$(dirname "${BASH_SOURCE[0]}")/packages.txt")
    for pkg in $list; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# Configures (once) and builds one preset.
snkes_build() {
    local preset=$1
    if [ ! -f "build/$preset/build.ninja" ]; then
        cmake --preset "$preset" >/dev/null || return 1
    fi
    cmake --build --preset "$preset" || return 1
}
