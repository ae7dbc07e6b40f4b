#!/usr/bin/env python3
"""Converts Natural Earth's 1:50m land and country borders, as the npm package
world-atlas 2.0.2 ships them (countries-50m.json, TopoJSON), into the small
binary file the weather map reads (coastlines.bin). Run once:

    npm pack world-atlas@2.0.2 && tar xzf world-atlas-2.0.2.tgz
    python3 make_coastlines.py package/countries-50m.json coastlines.bin

File layout, all little-endian, the whole compressed with zlib behind a 4-byte
big-endian length (what qUncompress reads):
    b"PLVCOAST" uint32 version(1)
    then records until the end: uint8 kind, uint32 n, n x (int16 lon, int16 lat)
    kind 0 = land ring, 2 = border between countries; coordinates in hundredths
    of a degree, the first point absolute and each further one as the
    difference to the one before, wrapping in 16 bits (which packs far better). The reader strokes
    the land rings as coastlines except along the antimeridian and the south
    pole, where the data closes cut polygons.
"""
import json
import struct
import sys
import zlib

LAND, BORDER = 0, 2


def decode_arcs(topo):
    sx, sy = topo["transform"]["scale"]
    tx, ty = topo["transform"]["translate"]
    arcs = []
    for arc in topo["arcs"]:
        x = y = 0
        points = []
        for dx, dy in arc:
            x += dx
            y += dy
            points.append((x * sx + tx, y * sy + ty))
        arcs.append(points)
    return arcs


def arc_points(arcs, index):
    return arcs[index] if index >= 0 else list(reversed(arcs[~index]))


def polygons_of(geometry):
    if geometry["type"] == "Polygon":
        return [geometry["arcs"]]
    if geometry["type"] == "MultiPolygon":
        return geometry["arcs"]
    return []


def quantise(points):
    out, last = [], None
    for lon, lat in points:
        q = (round(lon * 100), round(lat * 100))
        if q != last:
            out.append(q)
            last = q
    return out


def record(kind, points):
    q = quantise(points)
    if len(q) < 2:
        return b""
    # Differences wrap around in 16 bits, as the reader's additions do.
    wrap = lambda d: (d + 32768) % 65536 - 32768
    deltas = [q[0]] + [(wrap(b[0] - a[0]), wrap(b[1] - a[1])) for a, b in zip(q, q[1:])]
    return struct.pack("<BI", kind, len(q)) + b"".join(struct.pack("<hh", x, y) for x, y in deltas)


def main(source, target):
    topo = json.load(open(source))
    arcs = decode_arcs(topo)
    body = bytearray(b"PLVCOAST" + struct.pack("<I", 1))

    land_arcs = set()
    for geometry in topo["objects"]["land"]["geometries"]:
        for polygon in polygons_of(geometry):
            for ring in polygon:
                points = []
                for index in ring:
                    land_arcs.add(index if index >= 0 else ~index)
                    points.extend(arc_points(arcs, index))
                body += record(LAND, points)

    # An arc that two countries share is a border (and never a coast).
    uses = {}
    for geometry in topo["objects"]["countries"]["geometries"]:
        for polygon in polygons_of(geometry):
            for ring in polygon:
                for index in ring:
                    key = index if index >= 0 else ~index
                    uses[key] = uses.get(key, 0) + 1
    for index, count in sorted(uses.items()):
        if count >= 2 and index not in land_arcs:
            body += record(BORDER, arcs[index])

    packed = struct.pack(">I", len(body)) + zlib.compress(bytes(body), 9)
    open(target, "wb").write(packed)
    print(f"{target}: {len(packed)} bytes ({len(body)} uncompressed)")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
