#!/usr/bin/env bash
# Reads the real window's accessibility tree over AT-SPI, as a screen reader
# would, and checks that the five actions are named pressable controls, that
# the boxes are labelled by their captions, that no hidden control is in the
# tree, and that pressing "Convert and play" announces the new information
# line once.
# Usage: window_atspi.sh VELLORA
set -euo pipefail
vellora=$1

for tool in xvfb-run dbus-launch /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is missing"; exit 77; }
xvfb-run -a true 2>/dev/null || { echo "SKIP: Xvfb cannot start here"; exit 77; }

work=$(mktemp -d /tmp/vellora-atspi-XXXXXX)
trap 'rm -rf "$work"' EXIT
export VELLORA=$vellora WORK=$work VELLORA_DRIVE_C=$work/c
mkdir -p "$VELLORA_DRIVE_C/temp"
# A canonical 16-bit stereo file at 44100 samples per second, and a player that only notes its arguments.
/usr/bin/python3 - "$VELLORA_DRIVE_C/temp/talk.wav" <<'PY'
import struct, sys
data = b'v' * 1000
fmt = struct.pack('<HHIIHH', 1, 2, 44100, 176400, 4, 16)
with open(sys.argv[1], 'wb') as f:
    f.write(b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' + struct.pack('<I', 16) + fmt
            + b'data' + struct.pack('<I', len(data)) + data)
PY
source "$(dirname "$0")/window_session.sh"
WORK=$work fake_opener

cat > "$work/read.py" <<'PY'
import sys, time
import pyatspi
from gi.repository import GLib

def find_app():
    for _ in range(50):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name and 'vellora' in app.name.lower():
                return app
        time.sleep(0.1)
    sys.exit('the window did not appear on the accessibility bus')

def walk(node):
    yield node
    for child in node:
        yield from walk(child)

nodes = list(walk(find_app()))
failures = []
wanted = {'Play the input file': 'push button', 'latest': 'link', 'explore...': 'link',
          'Convert and play': 'push button', "What's this?": 'link'}
for name, role in wanted.items():
    found = [n for n in nodes if n.name == name and n.getRoleName() == role]
    if not found:
        failures.append(f'no {role} named {name!r}')
        continue
    n = found[0]
    action = n.queryAction()
    if 'Press' not in [action.getName(i) for i in range(action.nActions)]:
        failures.append(f'{name!r} has no Press action')
    if not n.description:
        failures.append(f'{name!r} has no description')
# What the window hides cannot be reached, and is not read out either (a
# closed list's popup is the list's own affair).
hidden = [f'{n.getRoleName()} {n.name!r}' for n in nodes[1:]
          if not n.getState().contains(pyatspi.STATE_VISIBLE) and n.parent.getRoleName() != 'combo box']
if hidden:
    failures.append('hidden controls in the tree: ' + ', '.join(hidden))
for caption in ('Input Filename:', 'Output Directory:', 'Replay Speed:'):
    labelled = [n for n in nodes for r in n.getRelationSet()
                if r.getRelationType() == pyatspi.RELATION_LABELLED_BY and r.getTarget(0).name == caption]
    if not labelled:
        failures.append(f'no box is labelled {caption!r}')

announced = []
pyatspi.Registry.registerEventListener(
    lambda e: announced.append(e.source.name), 'object:property-change:accessible-name')
convert = [n for n in nodes if n.name == 'Convert and play']
if convert:
    action = convert[0].queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index('Press'))
    loop = GLib.MainLoop()
    GLib.timeout_add(1500, loop.quit)
    loop.run()
    if announced.count('44100bps   16-bit') != 1:
        failures.append(f'the information line was announced as {announced!r}')
if failures:
    sys.exit('\n'.join(failures))
print('the five actions are named and pressable; the boxes are labelled; nothing hidden is read; news is announced')
PY

cat > "$work/session.sh" <<'SCRIPT'
set -euo pipefail
eval "$(dbus-launch --sh-syntax)"
/usr/libexec/at-spi-bus-launcher --launch-immediately &
bus=$!
trap 'kill $app $bus $DBUS_SESSION_BUS_PID 2>/dev/null || true' EXIT
sleep 1
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$VELLORA" >"$WORK/stdout" 2>&1 &
app=$!
sleep 1
timeout 60 /usr/bin/python3 "$WORK/read.py"
SCRIPT
xvfb-run -a -s "-screen 0 640x400x24" bash "$work/session.sh" 2> >(grep -v '^dbus-daemon\|SpiRegistry' >&2)
