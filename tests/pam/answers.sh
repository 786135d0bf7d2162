# shellcheck shell=bash
# The PAM module's cases that run the real visagio-check: answers on the stand-in videos of an
# owner enrolled through the window, and refusals of profiles that must not be trusted. Sourced
# by pam-test.sh after lib.sh; needs STAGE, CASE helpers and the arguments REAL_BUILD (the build
# folder) and STAND_INS (the pam-stand-ins program).

# prepare_real_check: the build installed into PAM_WORK/prefix (the check finds its data there
# from any folder) with the test build of the check beside it, and the stand-ins made once in
# PAM_WORK/stand-ins. Skipped without the shared face data, failed under CI.
prepare_real_check() {
    STAND_IN_DIR=$PAM_WORK/stand-ins
    mkdir -m 0755 "$STAND_IN_DIR"
    local status=0
    "$STAND_INS" "$STAND_IN_DIR" > "$PAM_WORK/stand-ins.log" 2>&1 || status=$?
    [ "$status" -eq 77 ] && skip "$(tail -1 "$PAM_WORK/stand-ins.log")"
    [ "$status" -eq 0 ] || { tail -5 "$PAM_WORK/stand-ins.log"; echo "the stand-ins were not made"; exit 1; }
    chmod 0644 "$STAND_IN_DIR"/*.avi
    PREFIX=$PAM_WORK/prefix
    (umask 022 && cmake --install "$REAL_BUILD" --prefix "$PREFIX" > /dev/null) ||
        { echo "cmake --install failed"; exit 1; }
    cp "$REAL_BUILD/visagio-check-test" "$PREFIX/bin/visagio-check-test"
    chmod 0755 "$PREFIX/bin/visagio-check-test"
}

# sealed_files DIR: the files a seal covers, in its order (every group here is one the check uses).
sealed_files() {
    local file n
    for file in features.txt liveness.txt; do
        [ -f "$1/$file" ] && echo "$file"
    done
    for n in $(find "$1" -mindepth 1 -maxdepth 1 -name 'group-*' -printf '%f\n' | cut -d- -f2 | sort -n); do
        printf 'group-%s/manifest.txt\ngroup-%s/embeddings.bin\n' "$n" "$n"
    done
}

# seal_of DIR: the seal's digest of every group there.
seal_of() {
    # shellcheck disable=SC2046
    digest_of "$1" $(sealed_files "$1")
}

# real_case NAME VIDEO: a case whose real check watches VIDEO on a copy of the enrolled profile
# the owner owns, sealed as it stands.
real_case() {
    new_case "$1"
    rm -rf "$CASE/profile"
    cp -r "$STAND_IN_DIR/profile" "$CASE/profile"
    [ "$(id -u)" -ne 0 ] || chown -R "$OWNER_UID:$OWNER_GID" "$CASE/profile"
    ARGS=("check=$PREFIX/bin/visagio-check" "sealdir=$SEAL_DIR" "statedir=$STATE_DIR"
          "profile=$CASE/profile" "camera=$STAND_IN_DIR/$2.avi")
    reseal
}

# reseal: the owner's seal made anew for the case's profile as it is now.
reseal() {
    SEAL_HASH=$(seal_of "$CASE/profile")
    write_seal "$OWNER" "$OWNER_UID"
}

# The owner's other day opens; a stranger, his printed photograph and an empty room do not, and
# in a stack that falls back to a deny only the owner gets through.
group_answers() {
    local video
    prepare_real_check
    real_case "the owner's other day" owner
    locker
    expect "result: PAM_SUCCESS"
    ! grep -q '^info: ' "$CASE/out" || fail "a message after a yes"
    for video in stranger photograph faceless; do
        real_case "$video" "$video"
        locker
        expect "result: PAM_AUTH_ERR"
        expect "info: Face not accepted"
    done
    for video in owner stranger; do
        real_case "stack, $video" "$video"
        printf 'auth [success=done default=ignore] %s %s\nauth requisite pam_deny.so\n' \
            "$STAGE/pam_visagio_test.so" "${ARGS[*]}" > "$CASE/conf/locker"
        locker
        if [ "$video" = owner ]; then expect "result: PAM_SUCCESS"; else expect "result: PAM_AUTH_ERR"; fi
    done
}

# Profiles the check must not trust are refused before a face is looked at, also when the seal
# matches what is there now; a profile changed after sealing is refused for that.
group_untrusted() {
    prepare_real_check
    real_case "a byte of embeddings.bin changed" owner
    printf 'x' | dd of="$CASE/profile/group-1/embeddings.bin" bs=1 seek=100 conv=notrunc status=none
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"

    real_case "a group added after sealing" owner
    cp -a "$CASE/profile/group-1" "$CASE/profile/group-2"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"

    real_case "a file others can read" owner
    chmod 0604 "$CASE/profile/group-1/sample-003.png"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"

    real_case "a symlinked profile" owner
    mv "$CASE/profile" "$CASE/real-profile"
    ln -s "$CASE/real-profile" "$CASE/profile"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"

    real_case "grbm" owner
    printf 'grbm\n' > "$CASE/profile/features.txt"
    reseal
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"

    real_case "liveness off" owner
    (umask 077 && printf 'off\n' > "$CASE/profile/liveness.txt")
    [ "$(id -u)" -ne 0 ] || chown "$OWNER_UID:$OWNER_GID" "$CASE/profile/liveness.txt"
    reseal
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
}

# The root path on a real seal: the test check seals the owner's home profile for the group of
# the check user (nobody here), then sudo asks for the owner's face and the check runs as nobody
# on the sealed copy. The owner opens; a camera covered after its first frames is a counted no;
# a sealed file changed afterwards is refused. Root under CI=true only.
group_rootanswers() {
    prepare_real_check
    local home profile check_group
    home=$(getent passwd "$OWNER" | cut -d: -f6)
    profile=$home/.local/share/visagio
    as_owner mkdir -p -m 0700 "$home/.local/share"
    cp -r "$STAND_IN_DIR/profile" "$profile"
    chown -R "$OWNER_UID:$OWNER_GID" "$profile"
    check_group=$(id -gn nobody)
    for video in owner darkening changed; do
        new_case "root path, $video" 0
        ARGS=("check=$PREFIX/bin/visagio-check" "sealdir=$SEAL_DIR" "statedir=$STATE_DIR"
              "camera=$STAND_IN_DIR/${video/changed/owner}.avi")
        rm "$SEAL_DIR/$OWNER.seal"
        SUDO_UID=$OWNER_UID "$PREFIX/bin/visagio-check-test" --seal --seal-dir "$SEAL_DIR" \
            --seal-group "$check_group" > "$CASE/seal.out" 2>&1 || { fail "--seal: $(cat "$CASE/seal.out")"; continue; }
        [ "$(cat "$SEAL_DIR/$OWNER.seal")" = "visagio-seal 1 $OWNER_UID $(seal_of "$profile")" ] ||
            fail "the seal is not the digest of the owner's files"
        if [ "$video" = changed ]; then
            printf 'x' | dd of="$SEAL_DIR/$OWNER/group-1/embeddings.bin" bs=1 seek=100 conv=notrunc status=none
        fi
        as_root sudo "$OWNER" --ruser "$OWNER"
        case $video in
            owner) expect "result: PAM_SUCCESS" ;;
            darkening)
                expect "result: PAM_AUTH_ERR"
                [ "$(wc -l < "$STATE_DIR/visagio/$OWNER_UID")" -eq 1 ] || fail "the no was not counted" ;;
            changed) expect "result: PAM_AUTHINFO_UNAVAIL" ;;
        esac
    done
}
