#!/bin/sh
# check-deb.sh BUILD_DIR WORK_DIR PRIVATE_LIBDIR: builds the .deb with CPack, checks that it
# holds what an installed system needs, unpacks it and runs its programs
# from the unpacked tree (as they would run from /usr).
set -eu
build=$1
work=$2
private_libdir=$3
rm -rf "$work"
mkdir -p "$work"
cd "$build"
cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/*.deb)
echo "built $deb"

failed=0
fail() { echo "FAIL: $*"; failed=1; }

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#' >"$work/files"
expect() {
    grep -qE "^$1\$" "$work/files" || fail "the package has no $1"
}
for program in pluvane pluvane-cardserver pluvane-rtty pluvane-synop pluvane-reg pluvane-monitor; do
    expect "/usr/bin/$program"
    expect "/usr/share/man/man1/$program\\.1\\.gz"
done
expect "/usr/libexec/pluvane-synop-full"
expect "/usr/share/doc/pluvane/copyright"
expect "/usr/share/doc/pluvane/changelog\\.gz"
expect "/usr/share/applications/org\\.pluvane\\.Monitor\\.desktop"
if grep -qE "/usr/share/man/.*\\.1$" "$work/files"; then
    fail "manual pages installed uncompressed: $(grep -E '/usr/share/man/.*\\.1$' "$work/files" | tr '\n' ' ')"
fi
expect "/usr/lib/[a-z0-9_-]+-linux-gnu[a-z]*/pluvane/libpluvane-synop-component\\.so"
expect "/usr/share/pluvane/nsd_bbsss\\.txt"
expect "/usr/share/pluvane/ndbc_station_table\\.txt"
expect "/usr/share/applications/org\\.pluvane\\.Pluvane\\.desktop"
expect "/usr/share/metainfo/org\\.pluvane\\.Pluvane\\.metainfo\\.xml"
expect "/usr/share/icons/hicolor/scalable/apps/org\\.pluvane\\.Pluvane\\.svg"
for size in 16 32 48 64 128 256; do
    expect "/usr/share/icons/hicolor/${size}x${size}/apps/org\\.pluvane\\.Pluvane\\.png"
done
expect "/usr/lib/systemd/system/pluvane-cardserver\\.service"
expect "/usr/lib/sysusers\\.d/pluvane-cardserver\\.conf"
expect "/etc/pluvane/cardserver\\.conf"
# Nothing of the build or the tests.
if grep -qE "test|fake|bench|preview|/include/" "$work/files"; then
    fail "the package holds files of the build: $(grep -E 'test|fake|bench|preview|/include/' "$work/files" | tr '\n' ' ')"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libqt6widgets6 libsndfile1 libsqlite3 libliquid; do
    printf '%s' "$depends" | grep -q "$library" || fail "Depends does not name $library"
done
dpkg-deb -e "$deb" "$work/control"
[ -x "$work/control/postinst" ] || fail "no postinst"
grep -q "/etc/pluvane/cardserver.conf" "$work/control/conffiles" 2>/dev/null || fail "the configuration is no conffile"

root=$work/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
for program in pluvane-cardserver pluvane-rtty pluvane-synop pluvane-reg pluvane-monitor; do
    QT_QPA_PLATFORM=offscreen "$bin/$program" --version >/dev/null || fail "$program --version"
done
# Debian's own checks: no errors (the warnings that remain are listed in
# packaging/README.md with the reasons).
if command -v lintian >/dev/null; then
    lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 ||
        fail "lintian reports errors: $(grep '^E:' "$work/lintian.log" | tr '\n' ' ')"
fi
# The SYNOP tool names stations from the installed list, not only from the
# one built in: a station renamed in the unpacked list comes out renamed.
sed -i 's/Berlin-Tempelhof/Berlin-Installed-List/' "$root/usr/share/pluvane/nsd_bbsss.txt"
echo "AAXX 08061 10384 11/// /2103 10012=" | "$bin/pluvane-synop" >"$work/synop.json" 2>/dev/null || fail "pluvane-synop"
grep -q '"station_name":"Berlin-Installed-List"' "$work/synop.json" ||
    fail "pluvane-synop did not name the station from /usr/share/pluvane: $(cat "$work/synop.json")"
# Storing is pluvane-synop-full's, run from libexec/: it finds the same list.
echo "AAXX 08061 10384 11/// /2103 10012=" |
    "$bin/pluvane-synop" --store="$work/synop.sqlite" --format json >"$work/stored.json" 2>/dev/null || fail "pluvane-synop --store"
grep -q '"station_name":"Berlin-Installed-List"' "$work/stored.json" ||
    fail "pluvane-synop --store did not name the station from /usr/share/pluvane: $(cat "$work/stored.json")"
# The server runs the demo from the unpacked tree and its default
# configuration is not read (PLUVANE_CARDSERVER_CONFIG points at the package's).
PLUVANE_CARDSERVER_CONFIG=$root/etc/pluvane/cardserver.conf \
    timeout 3 "$bin/pluvane-cardserver" --demo --listen 127.0.0.1:0 2>"$work/server.log" || true
grep -q "Listening on 127.0.0.1:" "$work/server.log" || fail "the server did not start: $(cat "$work/server.log")"
grep -q "Card 1: " "$work/server.log" || fail "the server has no demo card: $(cat "$work/server.log")"
# The front end looks for its component in the private library folder
# beside its bin/ (ComponentFactory.cpp); the component's libraries resolve.
component=$root/usr/$private_libdir/libpluvane-synop-component.so
[ -f "$component" ] || fail "no component at usr/$private_libdir, where the front end looks"
if [ -f "$component" ] && ldd "$component" | grep -q "not found"; then
    fail "the component's libraries are missing: $(ldd "$component" | grep 'not found')"
fi
# The front end starts and keeps running (a configured card: no dialog).
export PLUVANE_HIVE=$work/hive.sqlite PLUVANE_SYNOP_LOG=$work/reports.sqlite QT_QPA_PLATFORM=offscreen
"$bin/pluvane-reg" add 'HKLM\SOFTWARE\Korvath Software\Pluvane' /v CardNumber /t REG_DWORD /d 1 /f >/dev/null
timeout 3 "$bin/pluvane" >"$work/front.log" 2>&1 && status=0 || status=$?
[ "$status" = 124 ] || fail "the front end ended with status $status: $(cat "$work/front.log")"
exit $failed
