# shellcheck shell=bash
# Shared set-up of the PAM module's shell tests: a 0755 work folder, the owner account the
# locker path runs as, and running a command as that owner. Sourced, not run.
#
# As yourself the owner is you. As root, only under CI=true: a unique system user with its home
# in the work folder, removed again on exit (as root the target would be root and ignored).

PAM_WORK=""
OWNER=""
OWNER_UID=""
OWNER_GID=""
_PAM_MADE_OWNER=""

pam_cleanup() {
    if [ -n "$_PAM_MADE_OWNER" ]; then
        # Whatever a failed case left running as the account would keep userdel from working.
        pkill -KILL -u "$_PAM_MADE_OWNER" 2>/dev/null || true
        sleep 0.1
        userdel "$_PAM_MADE_OWNER" || echo "could not remove the test account $_PAM_MADE_OWNER"
        _PAM_MADE_OWNER=""
    fi
    [ -n "$PAM_WORK" ] && rm -rf "$PAM_WORK"
}

# skip MESSAGE: ends the test as skipped (ctest SKIP_RETURN_CODE 77).
skip() {
    echo "SKIPPED: $*"
    exit 77
}

# Root runs these tests only as the CI does; elsewhere a root shell would add a system user.
require_ci_if_root() {
    if [ "$(id -u)" -eq 0 ] && [ "${CI:-}" != "true" ]; then
        skip "as root these tests add a system user; they run as root only with CI=true" \
             "(or run them as an ordinary user)"
    fi
}

# make_work_folder: PAM_WORK, a 0755 folder under /tmp that other accounts can traverse.
make_work_folder() {
    PAM_WORK=$(mktemp -d /tmp/visagio-pam.XXXXXX)
    chmod 0755 "$PAM_WORK"
    trap pam_cleanup EXIT
}

# make_owner: OWNER, OWNER_UID, OWNER_GID of the account whose face the locker path asks for.
make_owner() {
    if [ "$(id -u)" -ne 0 ]; then
        OWNER=$(id -un)
    else
        OWNER="vgpam$$$(date +%N | cut -c1-4)"
        useradd --system --user-group --home-dir "$PAM_WORK/home-$OWNER" --create-home \
            --shell /usr/sbin/nologin "$OWNER" || { echo "useradd failed"; exit 1; }
        _PAM_MADE_OWNER=$OWNER
    fi
    OWNER_UID=$(id -u "$OWNER")
    OWNER_GID=$(id -g "$OWNER")
}

# as_owner CMD...: runs CMD with the owner's real and effective ids and groups.
as_owner() {
    if [ "$(id -u)" -ne 0 ]; then
        "$@"
    else
        setpriv --reuid="$OWNER_UID" --regid="$OWNER_GID" --init-groups -- "$@"
    fi
}

# owned_folder PATH UID: a folder made with umask 022 and handed to the account that uses it.
owned_folder() {
    (umask 022 && mkdir -p "$1")
    [ "$(id -u)" -ne 0 ] || chown "$2" "$1"
}

# digest_of DIR FILE...: the seal's digest of DIR's files as named, computed here, not by the
# check: for each its path, a NUL byte, its length in decimal, a newline and its bytes.
digest_of() {
    local dir=$1 file
    shift
    for file in "$@"; do
        printf '%s\0%s\n' "$file" "$(stat -c %s "$dir/$file")"
        cat "$dir/$file"
    done | sha256sum | cut -c1-64
}
