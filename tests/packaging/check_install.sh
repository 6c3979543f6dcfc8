#!/usr/bin/env bash
# Installs the built tree into a temporary DESTDIR and checks what a desktop and the package tools see:
# the programs are a Release build, the desktop entry and the metainfo pass their validators, the programs,
# icons and manual pages are where the desktop looks for them; then builds the Debian package and checks its
# contents, its programs' build type and its dependencies.
# Usage: check_install.sh <build folder> <application id>   (scripts/package builds the Release folder)
set -euo pipefail
build=$(realpath -m -- "$1")
app_id=$2
skip=77

for tool in desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (Debian packages desktop-file-utils, appstream, dpkg-dev; scripts/install-deps installs them)"
    exit $skip
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
programs=(navix-utility navix-sim navix-cli)
# The gateway and its service files where the tree has the program.
gateway=0
if grep -q navix-gateway "$build/packaging/cmake_install.cmake" 2>/dev/null; then
  gateway=1
  programs+=(navix-gateway)
fi
# A Debug build keeps the assertions of Qt's inline code, each with the path of the Qt header it sits in; a
# Release build (QT_NO_DEBUG) has none, stripped or not.
check_release_programs() {
  local folder=$1 program
  for program in "${programs[@]}"; do
    if grep -qaE '/Qt[A-Za-z]+/q[a-z_]+\.h' "$folder/$program"; then
      fail "bin/$program is a Debug build: it carries Qt's debug assertions ($2; scripts/package builds a Release tree)"
    fi
  done
}

[ -f "$build/CMakeCache.txt" ] || fail "no build tree in $build: scripts/package builds the Release tree there"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" || { cat "$work/install.log"; fail "install"; }
root=$work/root/usr
check_release_programs "$root/bin" "installed from $build"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
echo "build type: $build_type"
[[ $build_type =~ ^(Release|RelWithDebInfo|MinSizeRel)$ ]] || fail "$build is a ${build_type:-plain} build, not Release"
expected=(
  bin/navix-utility
  bin/navix-sim
  bin/navix-cli
  "share/applications/$app_id.desktop"
  "share/metainfo/$app_id.metainfo.xml"
  "share/icons/hicolor/scalable/apps/$app_id.svg"
  share/man/man1/navix-utility.1
  share/man/man1/navix-sim.1
  share/man/man1/navix-cli.1
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
if [ $gateway = 1 ]; then
  expected+=(bin/navix-gateway share/man/man1/navix-gateway.1 lib/systemd/system/navix-gateway.service
             lib/sysusers.d/navix-gateway.conf)
fi
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "not installed: $file"
done
if [ $gateway = 1 ]; then
  # The example configuration goes to /etc whatever the prefix, and a second install keeps an edited one.
  config=$work/root/etc/navix/gateway.yaml
  [ -f "$config" ] || fail "not installed: /etc/navix/gateway.yaml"
  echo "# edited" >>"$config"
  DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" || fail "second install"
  grep -qx "# edited" "$config" || fail "a second install overwrote /etc/navix/gateway.yaml"
  unit=$root/lib/systemd/system/navix-gateway.service
  for line in "ExecStart=/usr/bin/navix-gateway --config /etc/navix/gateway.yaml" "User=navix-gateway" \
    "SupplementaryGroups=dialout" "ProtectSystem=strict" "Restart=on-failure" "AmbientCapabilities="; do
    grep -qx "$line" "$unit" || fail "the unit lacks $line"
  done
  if command -v systemd-analyze >/dev/null; then
    # A copy that names the installed program, which is not in /usr/bin here; the manual page is checked below.
    # Any remark (an unknown key, a bad value) fails it too.
    sed "s|/usr/bin/navix-gateway|$root/bin/navix-gateway|" "$unit" >"$work/navix-gateway.service"
    remarks=$(systemd-analyze verify --man=no "$work/navix-gateway.service" 2>&1) &&
      [ -z "$remarks" ] || fail "systemd-analyze verify navix-gateway.service: $remarks"
  fi
fi
for program in "${programs[@]}"; do
  [ -x "$root/bin/$program" ] || fail "not executable: bin/$program"
done
# Each PNG is the size its folder says.
for size in 16 22 24 32 48 64 128 256; do
  png="$root/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
  dimensions=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dimensions" = "${size}x${size}" ] || fail "$png is $dimensions"
done

desktop-file-validate "$root/share/applications/$app_id.desktop" || fail "desktop-file-validate"
grep -qx 'Categories=Utility;Electronics;' "$root/share/applications/$app_id.desktop" || fail "categories"
grep -qx 'Exec=navix-utility' "$root/share/applications/$app_id.desktop" || fail "Exec"
grep -qx "Icon=$app_id" "$root/share/applications/$app_id.desktop" || fail "Icon"
appstreamcli validate --no-net --strict "$root/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
if command -v man >/dev/null; then
  for page in "${programs[@]}"; do
    warnings=$(man --warnings -l "$root/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page: $warnings"
  done
fi

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack"; }
package=$(ls "$work"/package/*.deb)
echo "package: $(basename "$package")"
dpkg-deb -c "$package" | tee "$work/contents"
for file in "${expected[@]}"; do
  grep -q " \./usr/$file\$" "$work/contents" || fail "not in the package: /usr/$file"
done
if [ $gateway = 1 ]; then
  grep -q " \./etc/navix/gateway.yaml\$" "$work/contents" || fail "not in the package: /etc/navix/gateway.yaml"
  dpkg-deb -e "$package" "$work/control"
  grep -qx /etc/navix/gateway.yaml "$work/control/conffiles" || fail "/etc/navix/gateway.yaml is no conffile"
  for script in postinst prerm postrm; do
    [ -x "$work/control/$script" ] || fail "the package has no executable $script"
  done
fi
dpkg-deb -x "$package" "$work/unpacked"
check_release_programs "$work/unpacked/usr/bin" "in the package"
depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: $depends"
# The library scan found what the programs link.
libraries=(libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6 libc6 qt6-qpa-plugins)
if [ $gateway = 1 ]; then
  libraries+=(libmosquitto1 libyaml-cpp libqt6serialbus6)
fi
for library in "${libraries[@]}"; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library"
done
echo "PASS"
