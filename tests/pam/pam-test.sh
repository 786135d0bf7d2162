#!/bin/bash
# The PAM module's tests with a fake check in place of visagio-check:
#   pam-test.sh GROUP MODULE DRIVER FAKE_CHECK MESSAGES_MO BUILD STAND_INS
# GROUP: mapping, unavailable, time, retries, message (the locker path, run as the owner) or
# root (the root path; as root under CI=true only); answers, untrusted and rootanswers (root
# only) run the real check
# (answers.sh) from BUILD installed into a temporary prefix, on what STAND_INS makes. Each case gets its own folder with a copy of
# the fake check (told what to do by fake-check.do beside it), a seal folder, a state folder, a
# profile folder and a PAM configuration folder naming the test module by absolute path.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$HERE/lib.sh"
# shellcheck source=answers.sh
. "$HERE/answers.sh"
GROUP=$1
MODULE=$2
DRIVER=$3
FAKE_CHECK=$4
MESSAGES_MO=$5
REAL_BUILD=$6
STAND_INS=$7
FAILURES=0
CASE_NAME=""
# libpam answers a stack in which every module ignored the request with PAM_PERM_DENIED; the
# module itself never returns that code.
IGNORED="result: PAM_PERM_DENIED"
# The hard limit on a check with timeout=1 (S + 2 s), with a margin left for a busy machine
# below it: the module's own deadline is S + 1 s.
TIME_LIMIT_MS=3000

fail() {
    echo "FAIL [$CASE_NAME]: $*"
    [ -f "$CASE/out" ] && sed 's/^/    | /' "$CASE/out"
    FAILURES=$((FAILURES + 1))
}

# The test module, the driver and the fake check, in a folder every account can read.
stage() {
    STAGE=$PAM_WORK/stage
    mkdir -m 0755 "$STAGE"
    cp "$MODULE" "$STAGE/pam_visagio_test.so"
    cp "$DRIVER" "$STAGE/pam-driver"
    cp "$FAKE_CHECK" "$STAGE/fake-check"
    chmod 0755 "$STAGE"/*
}

# new_case NAME [CHECK_UID]: a fresh case whose fake check runs as CHECK_UID (default: owner),
# with the owner's seal in place and a check that says no.
new_case() {
    CASE_NAME=$1
    local check_uid=${2:-$OWNER_UID}
    CASE=$(mktemp -d "$PAM_WORK/case.XXXXXX")
    chmod 0755 "$CASE"
    cp "$STAGE/fake-check" "$CASE/fake-check"
    [ "$(id -u)" -ne 0 ] || chown "$check_uid" "$CASE"
    SEAL_DIR=$CASE/seal
    STATE_DIR=$CASE/state
    mkdir -m 0755 "$SEAL_DIR" "$STATE_DIR" "$STATE_DIR/user" "$CASE/conf"
    owned_folder "$STATE_DIR/user/$OWNER_UID" "$OWNER_UID"
    chmod 0700 "$STATE_DIR/user/$OWNER_UID"
    owned_folder "$CASE/profile" "$OWNER_UID"
    ARGS=("check=$CASE/fake-check" "sealdir=$SEAL_DIR" "statedir=$STATE_DIR"
          "profile=$CASE/profile")
    SEAL_HASH=$(echo "$CASE_NAME" | sha256sum | cut -c1-64)
    write_seal "$OWNER" "$OWNER_UID"
    tell_check "exit 1 no: not the owner"
}

# write_seal USER UID: USER.seal as root writes it, for whatever hash.
write_seal() {
    printf 'visagio-seal 1 %s %s\n' "$2" "$SEAL_HASH" > "$SEAL_DIR/$1.seal"
    chmod 0644 "$SEAL_DIR/$1.seal"
}

tell_check() {
    echo "$1" > "$CASE/fake-check.do"
    chmod 0644 "$CASE/fake-check.do"
}

# configure SERVICE [ARGUMENT...]: the one-module stack for SERVICE.
configure() {
    local service=$1
    shift
    echo "auth required $STAGE/pam_visagio_test.so ${ARGS[*]} $*" > "$CASE/conf/$service"
}

# locker [DRIVER OPTION...]: the owner's own screen locker asks for the owner's face.
locker() {
    [ -f "$CASE/conf/locker" ] || configure locker
    as_owner env -u SSH_CONNECTION -u SSH_CLIENT -u SSH_TTY \
        "$STAGE/pam-driver" "$CASE/conf" locker "$OWNER" "$@" > "$CASE/out" 2>&1
}

# as_root SERVICE USER [DRIVER OPTION...]: a root program (sudo, say) asks for USER's face.
as_root() {
    local service=$1 user=$2
    shift 2
    [ -f "$CASE/conf/$service" ] || configure "$service" check_user=nobody
    env -u SSH_CONNECTION -u SSH_CLIENT -u SSH_TTY \
        "$STAGE/pam-driver" "$CASE/conf" "$service" "$user" "$@" > "$CASE/out" 2>&1
}

expect() {
    grep -qxF "$1" "$CASE/out" || fail "expected '$1'"
}

runs() {
    [ -f "$CASE/fake-check.log" ] || { echo 0; return; }
    grep -c '^run$' "$CASE/fake-check.log"
}

expect_runs() {
    local count
    count=$(runs)
    [ "$count" -eq "$1" ] || fail "expected the check to run $1 time(s), it ran $count"
}

recorded() {
    grep "^$1: " "$CASE/fake-check.log" | sed "s/^$1: //"
}

within_time_limit() {
    local ms
    ms=$(sed -n 's/^elapsed-ms: //p' "$CASE/out")
    [ -n "$ms" ] && [ "$ms" -lt "$TIME_LIMIT_MS" ] || fail "took ${ms:-?} ms, over $TIME_LIMIT_MS"
}

# What the check's end becomes, and what the module passes it; a refusal starts nothing.
group_mapping() {
    new_case "yes on exit 0"
    tell_check "exit 0 yes: the owner"
    configure locker camera=/nowhere/video.mp4 timeout=7
    locker
    expect "result: PAM_SUCCESS"
    expect_runs 1
    [ "$(recorded arg | tr '\n' ' ')" = "visagio-check --profile $CASE/profile --timeout 7 --expect-seal $SEAL_HASH --camera /nowhere/video.mp4 " ] \
        || fail "arguments: $(recorded arg | tr '\n' ' ')"

    new_case "no on exit 1"
    locker
    expect "result: PAM_AUTH_ERR"

    new_case "cannot run on exit 3"
    tell_check "exit 3 cannot run: the profile differs from its seal"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"

    for status in 2 4 127; do
        new_case "exit $status"
        tell_check "exit $status yes: but the status is wrong"
        locker
        expect "result: PAM_SYSTEM_ERR"
    done

    new_case "missing check"
    ARGS[0]="check=$CASE/no-such-check"
    locker
    expect "result: PAM_SYSTEM_ERR"

    new_case "check killed by SIGSEGV"
    tell_check "signal SEGV"
    locker
    expect "result: PAM_AUTH_ERR"

    new_case "unknown user"
    configure locker
    as_owner "$STAGE/pam-driver" "$CASE/conf" locker no-such-user-vg > "$CASE/out" 2>&1
    expect "result: PAM_USER_UNKNOWN"
    new_case "root target"
    configure locker
    as_owner "$STAGE/pam-driver" "$CASE/conf" locker root > "$CASE/out" 2>&1
    expect "$IGNORED"
    expect_runs 0

    for argument in timeout=0 timeout=31 timeout= foo=1; do
        new_case "argument $argument"
        configure locker "$argument"
        locker
        expect "result: PAM_SERVICE_ERR"
        expect_runs 0
    done

    new_case "remote host"
    locker --rhost 192.0.2.1
    expect "$IGNORED"
    expect_runs 0
    new_case "SSH_CONNECTION"
    configure locker
    as_owner env SSH_CONNECTION="192.0.2.1 50000 192.0.2.2 22" \
        "$STAGE/pam-driver" "$CASE/conf" locker "$OWNER" > "$CASE/out" 2>&1
    expect "$IGNORED"
    expect_runs 0
    for host in localhost 127.0.0.2 ::1; do
        new_case "local host $host"
        locker --rhost "$host"
        expect "result: PAM_AUTH_ERR"
        expect_runs 1
    done
}

# Refusals that start nothing: the seal and the caller.
group_unavailable() {
    new_case "no seal"
    rm "$SEAL_DIR/$OWNER.seal"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0

    new_case "seal of another uid"
    write_seal "$OWNER" $((OWNER_UID + 1))
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0

    new_case "group-writable seal"
    chmod 0664 "$SEAL_DIR/$OWNER.seal"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0

    new_case "seal with a second link"
    ln "$SEAL_DIR/$OWNER.seal" "$SEAL_DIR/copy"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0

    new_case "malformed seal"
    printf 'visagio-seal 1 %s %s\n' "$OWNER_UID" "$(echo x | sha256sum | cut -c1-64 | tr a-f A-F)" \
        > "$SEAL_DIR/$OWNER.seal"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0

    new_case "target nobody"
    write_seal nobody "$(id -u nobody)"
    configure locker
    as_owner "$STAGE/pam-driver" "$CASE/conf" locker nobody > "$CASE/out" 2>&1
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0

    new_case "no runtime folder"
    rm -rf "${STATE_DIR:?}/user/$OWNER_UID"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0
}

# A check that does not end in time is killed with everything it started; the host's SIGCHLD
# and alarm are left alone.
group_time() {
    new_case "hanging check"
    tell_check hang
    configure locker timeout=1
    locker
    expect "result: PAM_AUTH_ERR"
    expect "children: none"
    within_time_limit

    new_case "check ignoring SIGTERM, its child holding the pipe"
    tell_check stubborn
    configure locker timeout=1
    locker
    expect "result: PAM_AUTH_ERR"
    expect "children: none"
    within_time_limit
    sleep 0.2
    ! grep -qasF "$CASE/profile" /proc/[0-9]*/cmdline || fail "a process of the check was left running"

    new_case "host ignoring SIGCHLD"
    tell_check hang
    configure locker timeout=1
    locker --sigchld ignore --alarm 2
    expect "result: PAM_AUTH_ERR"
    expect "children: none"
    expect "alarm: fired"
    within_time_limit

    new_case "host reaping in its SIGCHLD handler, alarm during the check"
    tell_check stubborn
    configure locker timeout=1
    locker --sigchld handle --alarm 1
    expect "result: PAM_AUTH_ERR"
    expect "children: none"
    expect "alarm: fired"
    within_time_limit

    new_case "host reaping, check answering"
    tell_check "exit 0 yes: the owner"
    locker --sigchld handle
    expect "result: PAM_SUCCESS"
    expect "children: none"
}

# seconds_ago N: a CLOCK_BOOTTIME second N seconds back, as the module writes them.
seconds_ago() {
    echo $(( $(cut -d. -f1 /proc/uptime) - $1 ))
}

# At most 3 counted checks in 5 minutes; a yes clears them, a check that cannot run is not one.
group_retries() {
    local tries
    new_case "three failures stop the fourth"
    for _ in 1 2 3; do
        locker
        expect "result: PAM_AUTH_ERR"
    done
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 3

    new_case "a success clears the count"
    tries=$STATE_DIR/user/$OWNER_UID/visagio-tries
    locker
    locker
    tell_check "exit 0 yes: the owner"
    locker
    expect "result: PAM_SUCCESS"
    [ ! -s "$tries" ] || fail "the count was not cleared: $(cat "$tries")"
    tell_check "exit 1 no: not the owner"
    for _ in 1 2 3; do
        locker
        expect "result: PAM_AUTH_ERR"
    done
    expect_runs 6

    new_case "entries over 300 s old do not count"
    tries=$STATE_DIR/user/$OWNER_UID/visagio-tries
    { seconds_ago 301; seconds_ago 400; seconds_ago 302; echo "not a number"; } > "$tries"
    [ "$(id -u)" -ne 0 ] || chown "$OWNER_UID" "$tries"
    chmod 0600 "$tries"
    locker
    expect "result: PAM_AUTH_ERR"
    expect_runs 1
    { seconds_ago 10; seconds_ago 20; seconds_ago 30; } > "$tries"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 1

    new_case "cannot-run answers are not counted"
    tell_check "exit 3 cannot run: no profile"
    for _ in 1 2 3 4; do
        locker
    done
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 4

    new_case "state file of another owner"
    tries=$STATE_DIR/user/$OWNER_UID/visagio-tries
    if [ "$(id -u)" -eq 0 ]; then
        touch "$tries"
        locker
        expect "result: PAM_AUTHINFO_UNAVAIL"
        expect_runs 0
    fi
    new_case "state file held locked"
    tries=$STATE_DIR/user/$OWNER_UID/visagio-tries
    as_owner flock "$tries" sleep 1.5 &
    local holder=$!
    sleep 0.3
    locker
    wait "$holder"
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0

    new_case "state file a symbolic link"
    ln -s "$CASE/elsewhere" "$STATE_DIR/user/$OWNER_UID/visagio-tries"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0
    [ ! -e "$CASE/elsewhere" ] || fail "the module followed the link"

    new_case "state file over 4 KiB"
    tries=$STATE_DIR/user/$OWNER_UID/visagio-tries
    head -c 5000 /dev/zero | tr '\0' '\n' > "$tries"
    [ "$(id -u)" -ne 0 ] || chown "$OWNER_UID" "$tries"
    locker
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0
}

# One message after a no, none after a yes or under PAM_SILENT; the translation compiles.
group_message() {
    new_case "message after a failure"
    locker
    [ "$(grep -c '^info: Face not accepted$' "$CASE/out")" -eq 1 ] || fail "expected one message"
    [ "$(grep -c '^info: ' "$CASE/out")" -eq 1 ] || fail "expected nothing else shown"

    new_case "message in Russian"
    owned_folder "$CASE/locale/ru/LC_MESSAGES" "$OWNER_UID"
    cp "$MESSAGES_MO" "$CASE/locale/ru/LC_MESSAGES/visagio.mo"
    chmod 0644 "$CASE/locale/ru/LC_MESSAGES/visagio.mo"
    LC_ALL=C.UTF-8 LANGUAGE=ru locker --messages "$CASE/locale"
    expect "info: Лицо не принято"

    new_case "no message under PAM_SILENT"
    locker --silent
    expect "result: PAM_AUTH_ERR"
    ! grep -q '^info: ' "$CASE/out" || fail "a message under PAM_SILENT"

    new_case "no message after a yes"
    tell_check "exit 0 yes: the owner"
    locker
    ! grep -q '^info: ' "$CASE/out" || fail "a message after a yes"
    ! grep -q '^prompt: ' "$CASE/out" || fail "the module prompted"
}

# The root path: sudo and its kind asking for the owner's face, the check run as check_user.
group_root() {
    local nobody_uid
    nobody_uid=$(id -u nobody)
    new_case "caller refused" "$nobody_uid"
    configure sudo check_user=nobody
    env -u SSH_CONNECTION -u SSH_CLIENT -u SSH_TTY setpriv --ruid=nobody --euid=0 -- \
        "$STAGE/pam-driver" "$CASE/conf" sudo "$OWNER" --ruser nobody > "$CASE/out" 2>&1
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0

    new_case "another user asking" "$nobody_uid"
    as_root sudo "$OWNER" --ruser nobody
    expect "result: PAM_AUTHINFO_UNAVAIL"
    expect_runs 0

    new_case "loopback host on the root path" "$nobody_uid"
    as_root sudo "$OWNER" --rhost 127.0.0.1
    expect "$IGNORED"
    expect_runs 0
    new_case "service outside the list" "$nobody_uid"
    as_root cups "$OWNER"
    expect "$IGNORED"
    expect_runs 0
    new_case "services= replaces the list" "$nobody_uid"
    configure cups check_user=nobody services=cups,other
    as_root cups "$OWNER"
    expect "result: PAM_AUTH_ERR"

    new_case "check user missing" "$nobody_uid"
    configure sudo check_user=no-such-user-vg
    as_root sudo "$OWNER"
    expect "result: PAM_SYSTEM_ERR"
    expect_runs 0

    new_case "exit 0 without a yes line" "$nobody_uid"
    tell_check "exit 0 maybe"
    as_root sudo "$OWNER"
    expect "result: PAM_SYSTEM_ERR"

    new_case "check killed by SIGTERM" "$nobody_uid"
    tell_check "signal TERM"
    as_root sudo "$OWNER"
    expect "result: PAM_AUTH_ERR"
    [ "$(wc -l < "$STATE_DIR/visagio/$OWNER_UID")" -eq 1 ] || fail "the attempt was not counted"
    [ "$(stat -c %a "$STATE_DIR/visagio")" = 700 ] || fail "state folder not 0700"

    new_case "the check runs as the check user" "$nobody_uid"
    tell_check "exit 0 yes: the owner"
    as_root sudo "$OWNER" --ruser "$OWNER"
    expect "result: PAM_SUCCESS"
    [ "$(recorded uid)" = "$nobody_uid" ] && [ "$(recorded euid)" = "$nobody_uid" ] \
        || fail "uid $(recorded uid)/$(recorded euid)"
    [ "$(recorded gid)" = "$(id -g nobody)" ] || fail "gid $(recorded gid)"
    [ "$(recorded groups | tr ' ' '\n' | sort -n | xargs)" = \
      "$(id -G nobody | tr ' ' '\n' | sort -n | xargs)" ] || fail "groups $(recorded groups)"
    [ "$(recorded fds)" = "0 1 2" ] || fail "descriptors $(recorded fds)"
    [ "$(recorded cwd)" = "/" ] || fail "folder $(recorded cwd)"
    [ "$(recorded env | cut -d= -f1 | sort | xargs)" = "HOME PATH USER" ] \
        || fail "environment $(recorded env | xargs)"
    [ "$(recorded env | grep ^USER=)" = "USER=nobody" ] || fail "USER is not nobody"
    [ "$(recorded env | grep ^PATH=)" = "PATH=/usr/bin:/bin" ] || fail "PATH"
    [ "$(recorded arg | sed -n 3p)" = "$SEAL_DIR/$OWNER" ] || fail "profile $(recorded arg | sed -n 3p)"
}

case "$GROUP" in
    mapping|unavailable|time|retries|message|answers|untrusted) ;;
    root|rootanswers)
        [ "$(id -u)" -eq 0 ] || skip "the root path's cases need root (and CI=true)" ;;
    *) echo "unknown group $GROUP"; exit 2 ;;
esac
require_ci_if_root
make_work_folder
make_owner
stage
"group_$GROUP"
if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES failure(s) in $GROUP"
    exit 1
fi
echo "all $GROUP cases passed"
