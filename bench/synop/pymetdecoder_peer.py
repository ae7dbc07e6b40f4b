#!/usr/bin/env python3
"""pymetdecoder over a file of messages, as a user would loop over it.

    pymetdecoder_peer.py INPUT OUTPUT

INPUT holds one SYNOP or SHIP message a line, section 0 included
("AAXX YYGGi IIiii ..." or "BBXX CALLSIGN YYGGi ..."), which is the only
form pymetdecoder takes: it has no bulletin assembler. Each message decoded
becomes one JSON line in OUTPUT; the count of decoded and failed ones goes
to standard error. pymetdecoder's own command line stops at the first
message it cannot decode, so real traffic needs a loop like this one.

pymetdecoder is found on PYTHONPATH or as an installed package
(pip install pymetdecoder==0.2.2).
"""
import json
import sys
import warnings

from pymetdecoder import DecodeError, synop


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: pymetdecoder_peer.py INPUT OUTPUT")
    # pymetdecoder warns through the warnings module on every doubtful
    # group; printing those would cost it time the comparison should not
    # charge it for, so they are silenced (generous to it).
    warnings.simplefilter("ignore")
    decoded = failed = 0
    with open(sys.argv[1], encoding="utf-8", errors="replace") as messages, \
            open(sys.argv[2], "w", encoding="utf-8") as out:
        for line in messages:
            line = line.strip()
            if not line:
                continue
            try:
                report = synop.SYNOP().decode(line)
            except DecodeError:  # whatever goes wrong inside, it raises this
                failed += 1
                continue
            out.write(json.dumps(report))
            out.write("\n")
            decoded += 1
    print(f"decoded {decoded}, failed {failed}", file=sys.stderr)


if __name__ == "__main__":
    main()
