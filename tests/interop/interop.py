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

def chapters_on_key_frames(mkv, metadata, description):
    """Each chapter of the Matroska file starts on a key frame, chapters 2 on at the times videocd.xml gives
    the entries."""
    probe = lambda *a: subprocess.run(['ffprobe', '-v', 'error', '-of', 'csv=p=0', *a, mkv],
                                      capture_output=True, check=True, text=True).stdout.splitlines()
    keys = [float(l.split(',')[0]) for l in probe('-select_streams', 'v', '-show_entries', 'packet=pts_time,flags')
            if l.split(',')[1].startswith('K')]
    got = [float(l.split(',')[3]) for l in probe('-show_chapters')]
    starts = [int(t) for t in re.findall(r'START=(\d+)', open(metadata).read())]
    written = re.findall(r'<entry id="[^"]*">([\d.]+)</entry>', open(description).read())
    if len(got) < 3 or any(min(abs(c - k) for k in keys) > 0.001 for c in got) or \
            written != [f'{t // 90000}.{t % 90000 * 1000000 // 90000:06d}' for t in starts[1:]]:
        sys.exit(f'chapters at {got}, key frames at {keys}, chapter starts {starts}, entries {written}')

def without_second_sequence_header(clip, out):
    """The clip with its second sequence header made user data: the picture after it starts a group alone."""
    d = bytearray(load(clip))
    at = d.find(b'\0\0\1\xb3', d.find(b'\0\0\1\xb3') + 4)
    d[at + 3] = 0xb2
    pathlib.Path(out).write_bytes(d)

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
