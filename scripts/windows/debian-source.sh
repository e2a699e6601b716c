# Sourced: fetches one of Debian's source packages into the current folder with a private sources list, so the
# system's own apt set-up is neither needed nor touched.
debian_source() {
    local package=$1 version=$2 work=$PWD/apt
    mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
    printf '%s\n' \
        'deb-src http://deb.debian.org/debian bookworm main' \
        'deb-src http://deb.debian.org/debian bookworm-updates main' \
        'deb-src http://deb.debian.org/debian-security bookworm-security main' >"$work/sources.list"
    local options=(-o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=- -o Dir::State::Lists="$work/lists"
        -o Dir::Cache="$work/cache" -o APT::Sandbox::User=root)
    apt-get "${options[@]}" update -qq
    # The mirror may lack the upstream signature (.asc); what counts is that every other file the .dsc lists is
    # there with its checksum (the .dsc itself comes from the signed index).
    apt-get "${options[@]}" source --download-only "$package=$version" || true
    local dsc=${package}_${version#*:}.dsc
    [[ -f "$dsc" ]] || { echo "debian_source: $dsc was not fetched" >&2; return 1; }
    sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dsc" | awk 'NF == 3 && $3 !~ /\.asc$/ { print $1 "  " $3 }' |
        sha256sum --check --quiet -
}
