#!/usr/bin/env bash
# seal-test.sh BUILD_DIR
# sudo visagio-check --seal and --unseal as root, with the test build of the check run from a
# `cmake --install` prefix (so that it reads the weights' key from the installed data folder,
# never from VISAGIO_DATA or the working folder): a system user made for the run owns a
# profile in a temporary home; the check seals it into a temporary folder for the group
# nogroup. Checks the files copied, their modes, owners and bytes, the seal line against a
# digest computed here, that the sealed copy passes the check's --expect-seal under the
# sealed rules, the refusals, and --unseal. Root only, under CI=true; skipped (77) otherwise.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
[ "$(id -u)" = 0 ] && [ "${CI:-}" = true ] ||
    skip "the seal tests add a system user and write as root; they run as root with CI=true only"
make_work_folder
make_owner
work=$PAM_WORK
owner=$OWNER
uid=$OWNER_UID
home=$(getent passwd "$owner" | cut -d: -f6)
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install $build (is the face data there?)"
install -m 755 "$build/visagio-check-test" "$prefix/bin/visagio-check-test"
check=$prefix/bin/visagio-check-test
make_profile=$build/tests/visagio-make-profile
key=$(sha256sum "$prefix/share/visagio/face-resnet/face_recognition_model.bin" | cut -d' ' -f1)
other=$(printf 'b%.0s' $(seq 64))

profile=$home/.local/share/visagio
as_owner mkdir -p -m 700 "$home/.local/share"
# group-2 is keyed by other weights: the check leaves it out, so the seal does too.
as_owner "$make_profile" "$profile" "$key" "$other" "$key"

seal_dir=$work/seal
mkdir -m 755 "$seal_dir"
# A data folder of other weights, as the working folder and as VISAGIO_DATA: the seal must
# key the groups by the installed weights, never by these.
decoy=$work/decoy
mkdir -p "$decoy/haarcascades" "$decoy/face-resnet"
cp "$prefix/share/visagio/haarcascades/haarcascade.xml" "$decoy/haarcascades/"
echo "other weights" >"$decoy/face-resnet/face_recognition_model.bin"
cd "$decoy"
seal() { env VISAGIO_DATA="$decoy" "$@" "$check" --seal --seal-dir "$seal_dir" --seal-group nogroup; }
unseal() { env SUDO_UID="$uid" "$check" --unseal --seal-dir "$seal_dir" --seal-group nogroup; }
listing() { (cd "$seal_dir" && find . -printf '%p %m %u:%g\n' | LC_ALL=C sort); }
sealed_files="features.txt liveness.txt group-1/manifest.txt group-1/embeddings.bin group-3/manifest.txt
group-3/embeddings.bin"

# --- a seal: the lines, the files, their modes and owners, the bytes, the digest ---
out=$(seal SUDO_UID="$uid") || fail "seal: status $?: $out"
expected="sealed group-1
left out group-2: embedded by other network weights
sealed group-3
sealed: 2 groups for $owner"
[ "$out" = "$expected" ] || fail "seal printed: $out"
expected_listing=". 755 root:root
./$owner 750 root:nogroup
./$owner.seal 644 root:root
./$owner/features.txt 640 root:nogroup
./$owner/group-1 750 root:nogroup
./$owner/group-1/embeddings.bin 640 root:nogroup
./$owner/group-1/manifest.txt 640 root:nogroup
./$owner/group-3 750 root:nogroup
./$owner/group-3/embeddings.bin 640 root:nogroup
./$owner/group-3/manifest.txt 640 root:nogroup
./$owner/liveness.txt 640 root:nogroup
./.lock 600 root:root"
[ "$(listing)" = "$(LC_ALL=C sort <<<"$expected_listing")" ] || fail "sealed folder: $(listing)"
# shellcheck disable=SC2086
digest=$(digest_of "$profile" $sealed_files)
for f in $sealed_files; do cmp -s "$profile/$f" "$seal_dir/$owner/$f" || fail "$f differs from the owner's"; done
[ "$(cat "$seal_dir/$owner.seal")" = "visagio-seal 1 $uid $digest" ] || fail "seal line: $(cat "$seal_dir/$owner.seal")"

# --- the sealed copy, as a login reads it: the seal matches; the check then wants a camera ---
cd "$work"
as_reader() { setpriv --reuid=nobody --regid=nogroup --clear-groups -- env -u VISAGIO_DATA "$@"; }
line=$(as_reader "$check" --profile "$seal_dir/$owner" --camera "$work/none.avi" --timeout 2 --expect-seal "$digest" \
    2>/dev/null) && fail "the sealed copy ran without a camera"
[[ $line == "cannot run: the camera file $work/none.avi does not exist"* ]] || fail "sealed copy: $line"
line=$(as_reader "$check" --profile "$seal_dir/$owner" --camera "$work/none.avi" --expect-seal "${digest//?/0}" \
    2>/dev/null) && fail "a wrong seal ran"
[[ $line == "cannot run: the profile differs from its seal;"* ]] || fail "wrong seal: $line"

# --- sealing again swaps the new copy in and leaves nothing behind, an interrupted one's
# leftover included ---
as_owner rm -r "$profile/group-3"
mkdir -p "$seal_dir/.$owner.new/group-9"
out=$(seal SUDO_UID="$uid") || fail "second seal: status $?: $out"
[[ $out == *"sealed: 1 groups for $owner" ]] || fail "second seal printed: $out"
[ ! -e "$seal_dir/$owner/group-3" ] && [ -z "$(find "$seal_dir" -name ".$owner*")" ] || fail "left over: $(listing)"
before=$(listing; cat "$seal_dir/$owner.seal")

# --- refusals: exit 3, one "cannot run:" line, the seal as it was ---
refused() {
    local name=$1 want=$2
    shift 2
    local started=$(date +%s%N) status=0 got
    got=$(timeout 10 env VISAGIO_DATA="$decoy" "$@" "$check" --seal --seal-dir "$seal_dir" --seal-group nogroup) ||
        status=$?
    local ms=$((($(date +%s%N) - started) / 1000000))
    [ "$status" = 3 ] || fail "$name: status $status: $got"
    [ "$(wc -l <<<"$got")" = 1 ] && [[ $got == "cannot run: "*"$want"* ]] || fail "$name: $got"
    [ "$ms" -lt 1000 ] || fail "$name: answered after $ms ms"
    [ "$before" = "$(listing; cat "$seal_dir/$owner.seal")" ] || fail "$name changed the seal"
}
refused "no SUDO_UID" "SUDO_UID is not set" env -u SUDO_UID
refused "SUDO_UID 0" "root" SUDO_UID=0
refused "SUDO_UID not a number" "not a user id" SUDO_UID="${uid}x"
refused "SUDO_UID unknown" "not in the user database" SUDO_UID=4000000000

as_owner mv "$profile/group-1/embeddings.bin" "$home/embeddings.bin"
as_owner mkfifo -m 600 "$profile/group-1/embeddings.bin"
refused "a FIFO" "$profile/group-1/embeddings.bin' is not a regular file" SUDO_UID="$uid"
as_owner rm "$profile/group-1/embeddings.bin"
as_owner mv "$home/embeddings.bin" "$profile/group-1/embeddings.bin"

as_owner mv "$profile" "$home/.local/share/real"
as_owner ln -s "$home/.local/share/real" "$profile"
refused "a symlinked profile" "is a symbolic link" SUDO_UID="$uid"
as_owner rm "$profile"
as_owner mv "$home/.local/share/real" "$profile"

for setting in "features.txt grbm" "liveness.txt off"; do
    set -- $setting
    as_owner cp "$profile/$1" "$home/saved"
    as_owner sh -c "rm '$profile/$1' && umask 077 && echo $2 > '$profile/$1'"
    refused "$1 $2" "$2" SUDO_UID="$uid"
    as_owner sh -c "rm '$profile/$1' && mv '$home/saved' '$profile/$1'"
done

# --- unsealing removes the copy and the seal; again, with none, it still succeeds ---
unseal >/dev/null || fail "unseal: status $?"
[ ! -e "$seal_dir/$owner" ] && [ ! -e "$seal_dir/$owner.seal" ] || fail "unseal left: $(listing)"
unseal >/dev/null || fail "a second unseal: status $?"
echo "seal tests passed"
