#!/usr/bin/env python3
"""How often a short random line is ambiguous: COUNT random binary texts of
1 to 120 bytes (each length as likely), through `encrypt-lines` and back
through `encrypt-lines -d`, counting the lines that several texts give (no
one of them without a zero byte), and any text that comes back otherwise.

    python3 bench/ambiguity.py [--count N] [--seed S] [--no-zero] [--lines PATH]

Texts are random bytes but the line feed that ends each (so that they are
lines of a file); with --no-zero, of 1 to 255, as in text that never holds
a zero byte. The same seed gives the same texts. PATH is the encrypt-lines
to run (default build/release/encrypt-lines; build it with
`cmake --preset release && cmake --build --preset release`).
"""
import argparse
import collections
import os
import random
import re
import subprocess
import sys

parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
parser.add_argument('--count', type=int, default=1_000_000)
parser.add_argument('--seed', type=int, default=20261210)
parser.add_argument('--no-zero', action='store_true')
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
parser.add_argument('--lines', default=os.path.join(root, 'build/release/encrypt-lines'))
args = parser.parse_args()

generator = random.Random(args.seed)
# Byte values a text may hold; a byte drawn that it may not is drawn again
# from those, so that each is as likely.
allowed = bytes(b for b in range(256) if b != 0x0A and (b != 0 or not args.no_zero))
refused = re.compile(b'[\\n\\0]' if args.no_zero else b'\\n')
redraw = lambda match: bytes([generator.choice(allowed)])
texts = [refused.sub(redraw, generator.randbytes(generator.randint(1, 120))) for _ in range(args.count)]

lines = subprocess.run([args.lines], input=b'\n'.join(texts) + b'\n', stdout=subprocess.PIPE, check=True).stdout
back = subprocess.run([args.lines, '-d'], input=lines, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

# Every line that gives no text is reported as -:N: REASON; the others'
# texts come out in order, each ending in a line feed.
reasons = {}
for report in back.stderr.decode().splitlines():
    match = re.fullmatch(r'encrypt-lines: -:(\d+): (.*)', report)
    if match is None:
        sys.exit(f'unexpected: {report}')
    reasons[int(match[1])] = match[2]
out = back.stdout.split(b'\n')
if out[-1] != b'':
    sys.exit('the output does not end with a line feed')
returned = iter(out[:-1])
wrong = sum(1 for number, text in enumerate(texts, 1) if number not in reasons and next(returned) != text)

kinds = collections.Counter(re.sub(r'^\d+ ', 'K ', reason) for reason in reasons.values())
ambiguous = sum(count for reason, count in kinds.items() if reason.endswith('texts give this line'))
values = 'bytes 1-255' if args.no_zero else 'bytes 0-255 but the line feed'
print(f'{args.count:,} random texts of 1-120 {values} (seed {args.seed}):')
print(f'  ambiguous lines: {ambiguous:,}, one in {args.count / ambiguous:,.0f}' if ambiguous else '  ambiguous lines: none')
for reason, count in sorted(kinds.items()):
    print(f'    {reason}: {count:,}')
print(f'  texts that came back otherwise: {wrong:,}')
