#!/usr/bin/env bash
# Installs the .deb, runs the desktop entry's command as a fresh non-root user under Xvfb, checks where
# the tunnels go and that --status lists them, then removes the user and the package (as root).
# Usage: packaging/check-package.sh build/quorvane_1.0_amd64.deb [SCREENSHOT.png]
set -euo pipefail

deb=$(realpath "$1")
shot=${2:-/tmp/pkg.png}
user=quorvanepkg
if id "$user" >/dev/null 2>&1; then
    echo "user $user already exists: remove it first" >&2
    exit 1
fi

cleanup() {
    if [ -n "$uid" ]; then rm -rf "/run/user/$uid"; fi
    # The user's X server may take a moment to end after xvfb-run returns.
    for _ in $(seq 20); do userdel -r "$user" 2>/dev/null && break; sleep 0.5; done
    DEBIAN_FRONTEND=noninteractive apt-get purge -y quorvane >/dev/null || true
}
uid=
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb" >/dev/null
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/quorvane.desktop)
useradd -m "$user"
uid=$(id -u "$user")
# The runtime folder a desktop login would give the user (the running instance listens there).
install -d -m 700 -o "$user" -g "$user" "/run/user/$uid"
rm -f "$shot"
closed_port=47919
if ss -ltn | grep -q ":$closed_port "; then
    echo "port $closed_port is in use here: pick another" >&2
    exit 1
fi

# Everything below runs as the user, on a private X display; QT_QPA_PLATFORM stays unset (real X).
su - "$user" -c "env -u QT_QPA_PLATFORM XDG_RUNTIME_DIR=/run/user/$uid xvfb-run -n 97 -s '-screen 0 1024x768x24' bash -eu" <<EOF
data=\$HOME/.local/share/quorvane
$exec_line & pid=\$!
for _ in \$(seq 50); do [ -d "\$data/tunnells" ] && break; sleep 0.2; done
stat -c '%a %n' "\$data" "\$data/tunnells"
[ "\$(stat -c %a "\$data")" = 700 ] && [ "\$(stat -c %a "\$data/tunnells")" = 700 ]
[ ! -e /usr/lib/quorvane/tunnells ]
kill \$pid; wait \$pid || true

# A tunnel made by hand as Aggiungi makes it, whose server port on loopback has no listener.
(umask 077; mkdir "\$data/tunnells/ufficio"
 cp /usr/lib/quorvane/plink.exe "\$data/tunnells/ufficio/ufficioSSH.exe"
 printf '[SSH Server]\r\nIpServer=127.0.0.1\r\nPortaServer=$closed_port\r\nUsername=demo\r\nPassword=x\r\n[Tunnell]\r\nPortaLocale=18080\r\nIpServizio=127.0.0.1\r\nPortaServizio=80\r\nAutoConnessione=0\r\n' \
     > "\$data/tunnells/ufficio/Tunnell.tun")

echo "status without a running instance:"; quorvane --status | tee \$HOME/status1
# The installed client starts and its refusal comes back in words.
if quorvane --connect ufficio 2> \$HOME/connect; then exit 1; fi
cat \$HOME/connect
grep -qP '^ufficio\tfailed: connection refused' \$HOME/connect
$exec_line & pid=\$!
sleep 4
ls "\$XDG_RUNTIME_DIR"/quorvane-*.sock # the running instance listens: --status goes to it
echo "status handed to the running instance:"; quorvane --status | tee \$HOME/status2
import -window root "$shot"
kill \$pid; wait \$pid || true
grep -qP '^ufficio\tnot connected$' \$HOME/status1
grep -qP '^ufficio\tnot connected$' \$HOME/status2
EOF
echo "package check passed; screenshot: $shot"
