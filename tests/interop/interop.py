# What mivaro's outputs must hold, worked out from the formats and the source
# clips alone; run.sh calls one function per check.
import json, re, subprocess, sys

SECTOR = 2352

def load(p):
    with open(p, 'rb') as f:
        return f.read()

def fail(msg):
    sys.exit(msg)

def clip_then_zeros(got, clip):
    g, c = load(got), load(clip)
    if g[:len(c)] != c or any(g[len(c):]):
        fail(f'{got} ({len(g)} bytes) is not {clip} ({len(c)} bytes) followed by zero bytes')

def same_but_trailing_zeros(a, b):
    if load(a).rstrip(b'\0') != load(b).rstrip(b'\0'):
        fail(f'{a} and {b} differ beyond trailing zero bytes')

def prefix_within_sector(short, long):
    s, l = load(short), load(long)
    if l[:len(s)] != s or len(l) - len(s) > SECTOR:
        fail(f'{short} ({len(s)} bytes) is not {long} ({len(l)} bytes) less at most one sector')

def probe(path):
    out = subprocess.run(['ffprobe', '-v', 'error', '-of', 'json', '-show_entries',
                          'format=duration:stream=codec_name,width,height', path],
                         capture_output=True, check=True, text=True).stdout
    info = json.loads(out)
    return float(info['format']['duration']), info['streams']

def probe_like(clip, got):
    (d1, s1), (d2, s2) = probe(clip), probe(got)
    if s1 != s2 or abs(d1 - d2) > 0.05:
        fail(f'ffprobe: {clip} {d1} s {s1}, {got} {d2} s {s2}')

def split(cue, image, folder):
    """One BIN per track the way dumps come: each track's file starts at its
    first INDEX (the pregap), its INDEX times count from there; the sheet has
    a byte order mark, CRLF line ends, Windows paths and other letter case."""
    data, tracks = load(image), []
    for line in load(cue).decode('latin-1').splitlines():
        if m := re.match(r'\s*TRACK\s+(\d+)\s+(\S+)', line):
            tracks.append((int(m[1]), m[2], []))
        elif m := re.match(r'\s*INDEX\s+(\d+)\s+(\d+):(\d+):(\d+)', line):
            tracks[-1][2].append((m[1], int(m[2]) * 4500 + int(m[3]) * 75 + int(m[4])))
    lines = []
    for i, (number, kind, indexes) in enumerate(tracks):
        start = indexes[0][1]
        end = tracks[i + 1][2][0][1] if i + 1 < len(tracks) else len(data) // SECTOR
        with open(f'{folder}/image (Track {number}).bin', 'wb') as f:
            f.write(data[start * SECTOR:end * SECTOR])
        lines += [f'FILE "C:\\RIPS\\IMAGE (TRACK {number}).BIN" BINARY', f'  TRACK {number:02d} {kind}']
        for index, p in indexes:
            p -= start
            lines.append(f'    INDEX {index} {p // 4500:02d}:{p // 75 % 60:02d}:{p % 75:02d}')
    with open(f'{folder}/image.cue', 'wb') as f:
        f.write(b'\xef\xbb\xbf' + ''.join(l + '\r\n' for l in lines).encode())

globals()[sys.argv[1]](*sys.argv[2:])
