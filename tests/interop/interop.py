# What mivaro's outputs must hold, from the formats and source clips alone; one function per check.
import json, pathlib, re, subprocess, sys

def load(p):
    return pathlib.Path(p).read_bytes()

def clip_then_zeros(got, clip):
    g, c = load(got), load(clip)
    if g[:len(c)] != c or any(g[len(c):]):
        sys.exit(f'{got} ({len(g)} bytes) is not {clip} ({len(c)} bytes) followed by zero bytes')

def same_but_trailing_zeros(a, b):
    if load(a).rstrip(b'\0') != load(b).rstrip(b'\0'):
        sys.exit(f'{a} and {b} differ beyond trailing zero bytes')

def prefix_within_sector(short, long):
    s, l = load(short), load(long)
    if l[:len(s)] != s or len(l) - len(s) > 2352:
        sys.exit(f'{short} ({len(s)} bytes) is not {long} ({len(l)} bytes) less at most one sector')

def probe_like(clip, got):
    fields = ['ffprobe', '-v', 'error', '-of', 'json', '-show_entries', 'format=duration:stream=codec_name,width,height']
    (a, b) = (json.loads(subprocess.run(fields + [p], capture_output=True, check=True).stdout) for p in (clip, got))
    if a['streams'] != b['streams'] or abs(float(a['format']['duration']) - float(b['format']['duration'])) > 0.05:
        sys.exit(f'ffprobe: {clip} {a}, {got} {b}')

def split(cue, image, folder, size='2352'):
    """One BIN per track as dumps come: each starts at its track's first INDEX, from which its INDEX
    times count; the sheet has a byte order mark, CRLF line ends, Windows paths and other letter case."""
    data, tracks, lines = load(image), [], []
    for m in re.finditer(r'TRACK\s+(\d+)\s+(\S+)|INDEX\s+(\d+)\s+(\d+):(\d+):(\d+)', load(cue).decode()):
        if m[1]:
            tracks.append((int(m[1]), m[2], []))
        else:
            tracks[-1][2].append((m[3], int(m[4]) * 4500 + int(m[5]) * 75 + int(m[6])))
    for i, (number, kind, indexes) in enumerate(tracks):
        n = int(size)
        start, end = indexes[0][1], tracks[i + 1][2][0][1] if i + 1 < len(tracks) else len(data) // n
        with open(f'{folder}/image (Track {number}).bin', 'wb') as f:
            f.write(data[start * n:end * n])
        lines += [f'FILE "C:\\RIPS\\IMAGE (TRACK {number}).BIN" BINARY', f'  TRACK {number:02d} {kind}']
        lines += [f'    INDEX {n} {(p - start) // 4500:02d}:{(p - start) // 75 % 60:02d}:{(p - start) % 75:02d}'
                  for n, p in indexes]
    with open(f'{folder}/image.cue', 'wb') as f:
        f.write(b'\xef\xbb\xbf' + ''.join(l + '\r\n' for l in lines).encode())

def chapters_at_entries(listing, image, movie):
    """Chapter k starts at the clock of the k-th entry's pack (from ENTRIES.VCD), less the first pack's."""
    data, mpg = load(image), load(movie)
    entries = data[151 * 2352 + 24:151 * 2352 + 24 + 2048]
    bcd = lambda b: (b >> 4) * 10 + (b & 15)
    lsns = [(bcd(entries[13 + 4 * i]) * 60 + bcd(entries[14 + 4 * i])) * 75 + bcd(entries[15 + 4 * i]) - 150
            for i in range(int.from_bytes(entries[10:12], 'big'))]
    def scr(p):
        return ((p[4] & 0x0E) << 29) | (p[5] << 22) | ((p[6] & 0xFE) << 14) | (p[7] << 7) | (p[8] >> 1)
    first = scr(mpg)
    want = [(scr(data[l * 2352 + 24:]) - first) / 90000 for l in lsns[:3]]
    got = [float(line.split(',')[3]) for line in open(listing).read().splitlines()]
    if len(got) != 3 or any(abs(a - b) > 0.001 for a, b in zip(got, want)) or want[1] <= 0.5:
        sys.exit(f'chapters at {got}, entries at {want}')

def track_start(cue, number):
    """The sector of the track's INDEX 01 in a sheet of one BIN."""
    text = load(cue).decode()
    m = re.search(r'TRACK\s+0*%s\s.*?INDEX\s+01\s+(\d+):(\d+):(\d+)' % number, text, re.S)
    print(int(m[1]) * 4500 + int(m[2]) * 75 + int(m[3]))

def flip(path, offset):
    """Inverts the bits of one byte of the file."""
    with open(path, 'r+b') as f:
        f.seek(int(offset))
        b = f.read(1)[0]
        f.seek(int(offset))
        f.write(bytes([b ^ 0xFF]))

globals()[sys.argv[1]](*sys.argv[2:])
