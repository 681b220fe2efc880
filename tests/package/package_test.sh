#!/usr/bin/env bash
# The Debian packages as an administrator gets them: built by CPack from this
# build, their file lists and modes, their control files, then extracted into
# a scratch root, where the installed pbxhost checks a configuration and runs
# a plug-in, and systemd-analyze verifies the unit.
# Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/pbxhost-package.XXXXXX")
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  exit 1
}
service=$work/out/pbxhost_${version}_amd64.deb
simulators=$work/out/pbxhost-simulators_${version}_amd64.deb
for deb in "$service" "$simulators"; do
  [ -f "$deb" ] || { echo "FAIL: no $deb" >&2; ls "$work/out" >&2; exit 1; }
done

# --- file lists and modes: "mode path" for every entry
listing() { dpkg-deb -c "$1" | awk '{ path = $6; for (i = 7; i <= NF; i++) path = path " " $i; print $1, $2, path }'; }
listing "$service" >"$work/service.list"
listing "$simulators" >"$work/simulators.list"
expect_entry() { # list mode owner path
  if grep -qxF -- "$2 $3 $4" "$1"; then pass "$4 $2 $3"; else fail "$(basename "$1"): no entry \"$2 $3 $4\""; fi
}
for entry in \
  "-rwxr-xr-x root/root ./usr/bin/pbxhost" \
  "-rw-r--r-- root/root ./usr/lib/pbxhost/mod_quorvin.so" \
  "-rw-r--r-- root/root ./usr/lib/pbxhost/mod_varnel.so" \
  "-rw-r--r-- root/root ./usr/lib/pbxhost/mod_tellum.so" \
  "-rw-r--r-- root/root ./usr/lib/pbxhost/libVarnel.so" \
  "-rw-r--r-- root/root ./usr/lib/pbxhost/librtl.so" \
  "-rw-r--r-- root/root ./usr/lib/pbxhost/libplatform.so" \
  "-rw-r----- root/root ./etc/pbxhost/pbxhost.conf" \
  "-rw-r--r-- root/root ./etc/logrotate.d/pbxhost" \
  "-rw-r--r-- root/root ./usr/lib/systemd/system/pbxhost.service" \
  "-rw-r--r-- root/root ./usr/lib/sysusers.d/pbxhost.conf" \
  "-rw-r--r-- root/root ./usr/share/dbus-1/system.d/org.hotelpbxlink.PbxHost.conf" \
  "-rw-r--r-- root/root ./usr/share/dbus-1/system.d/org.hotelpbxlink.Varnel.conf" \
  "-rw-r--r-- root/root ./usr/share/doc/pbxhost/README.md" \
  "-rw-r--r-- root/root ./usr/share/doc/pbxhost/operating.md" \
  "-rw-r--r-- root/root ./usr/share/doc/pbxhost/configuration.md" \
  "-rw-r--r-- root/root ./usr/share/pbxhost/db/schema.sql"; do
  read -r mode owner path <<<"$entry"
  expect_entry "$work/service.list" "$mode" "$owner" "$path"
done
for program in hl-driver-sim modem-sim varnel-cli; do
  expect_entry "$work/simulators.list" "-rwxr-xr-x" "root/root" "./usr/bin/$program"
  if grep -q "/$program\$" "$work/service.list"; then fail "$program is in the service package"; fi
done
# Nothing of the tests, nothing of the build tree.
if grep -E 'mod_hosttest|mod_testadapter|_tests|pbxhost_testbuild|scripted' "$work/service.list" "$work/simulators.list"; then
  fail "test programs or plug-ins in a package"
else
  pass "no test programs or plug-ins"
fi

# --- control files
dpkg-deb -e "$service" "$work/control"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] && pass "$script executable" || fail "no executable $script"
done
grep -qxF /etc/pbxhost/pbxhost.conf "$work/control/conffiles" && pass "pbxhost.conf is a conffile" \
  || fail "pbxhost.conf is not a conffile"
depends=$(dpkg-deb -f "$service" Depends)
case "$depends" in
  *libqt6core6*libsystemd0* | *libsystemd0*libqt6core6*) pass "Depends: $depends" ;;
  *) fail "Depends lacks Qt or libsystemd: $depends" ;;
esac
sim_depends=$(dpkg-deb -f "$simulators" Depends)
case "$sim_depends" in
  *"pbxhost (= $version)"*) pass "simulators depend on pbxhost $version" ;;
  *) fail "simulators' Depends: $sim_depends" ;;
esac

# --- extracted into a scratch root
root=$work/root
dpkg-deb -x "$service" "$root"
dpkg-deb -x "$simulators" "$root"
runpath=$(readelf -d "$root/usr/bin/pbxhost" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = '$ORIGIN:$ORIGIN/../lib/pbxhost' ] && pass "pbxhost RUNPATH $runpath" \
  || fail "pbxhost RUNPATH is \"$runpath\""
if readelf -d "$root"/usr/lib/pbxhost/*.so "$root"/usr/bin/* | grep -F "$build"; then
  fail "an installed file refers to the build tree"
fi

# The shipped sample: it parses, its plug-ins load from the private folder,
# and it has no key that no plug-in knows.
sample_out=$("$root/usr/bin/pbxhost" --config "$root/etc/pbxhost/pbxhost.conf" --check-config || true)
echo "$sample_out" | sed 's/^/   sample: /'
for plugin in mod_quorvin mod_varnel; do
  echo "$sample_out" | grep -qF "ok: plug-in $plugin (host.plugins." && pass "sample loads $plugin" \
    || fail "sample does not load $plugin"
done
if echo "$sample_out" | grep -q ": warning: key"; then fail "sample has unknown keys"; fi
if echo "$sample_out" | grep -q ": error: syntax\|: error: plug-in"; then fail "sample has errors"; fi

# A configuration of our own: the modem adapter only, state here.
mkdir -p "$work/state"
cat >"$work/pbxhost.conf" <<CONF
[host]
plugins.modem = mod_tellum
state_dir = $work/state
[mod_tellum]
rs.device = /dev/null
CONF
chmod 0600 "$work/pbxhost.conf"
if check=$("$root/usr/bin/pbxhost" --config "$work/pbxhost.conf" --check-config); then
  pass "check-config exit 0"
else
  fail "check-config exit $?"
fi
echo "$check" | sed 's/^/   check: /'
echo "$check" | grep -qF "ok: plug-in mod_tellum (host.plugins.modem): $root/usr/lib/pbxhost/mod_tellum.so" \
  && pass "check-config loads the installed mod_tellum" || fail "check-config did not load the installed mod_tellum"

# A short run from there: started, stopped by SIGTERM, exit 0.
"$root/usr/bin/pbxhost" --config "$work/pbxhost.conf" --log-file "$work/run.log" 2>"$work/run.err" &
pid=$!
for _ in $(seq 1 300); do
  grep -q "Host running with 1 plug-in(s)" "$work/run.log" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if grep -q "Host running with 1 plug-in(s)" "$work/run.log" 2>/dev/null; then pass "installed pbxhost runs"; else
  fail "installed pbxhost did not run"; cat "$work/run.err" >&2
fi
kill -TERM "$pid" 2>/dev/null || true
code=0
wait "$pid" || code=$?
pid=""
[ "$code" -eq 0 ] && pass "stopped with exit 0" || fail "exit code $code after SIGTERM"
grep -qF "started from $root/usr/lib/pbxhost/mod_tellum.so" "$work/run.log" \
  && pass "plug-in from the private folder" || fail "plug-in not from $root/usr/lib/pbxhost"

# The unit as systemd reads it, with its program where the package put it.
mkdir -p "$work/unit"
sed "s#/usr/bin/pbxhost#$root/usr/bin/pbxhost#" "$root/usr/lib/systemd/system/pbxhost.service" \
  >"$work/unit/pbxhost.service"
if verify=$(systemd-analyze verify "$work/unit/pbxhost.service" 2>&1); then
  pass "systemd-analyze verify"
else
  fail "systemd-analyze verify: $verify"
fi
[ -z "$verify" ] || echo "$verify" | sed 's/^/   verify: /'

echo "$failures failed"
[ "$failures" -eq 0 ]
