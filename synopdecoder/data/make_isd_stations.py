#!/usr/bin/env python3
"""Writes isd_stations.txt: the land stations that nsd_bbsss.txt (2013) lacks,
from NOAA's Integrated Surface Database station history, in the land list's
own semicolon format so that the catalogue reads both the same way.

    make_isd_stations.py isd-history.csv nsd_bbsss.txt synop.tbl > isd_stations.txt

synop.tbl (GEMPAK's station table) is only a second opinion: an index that
it places more than 5 km away from the ISD is left out, and so is an ISD
record that ended before 2020 unless GEMPAK puts the station within 5 km.
Indices already in nsd_bbsss.txt are never written: the main list wins.
"""
import collections
import csv
import math
import re
import sys

RECENT = "20200101"   # an index last reported before this may have been given to another station
AGREE_KM = 5.0
# Records older than RECENT that are kept all the same: the elevation that
# the station's own reports give (station and sea-level pressure, March 2026)
# is the record's to the metre.
CONFIRMED = {"87127"}
# Names that the ISD has wrong for the place it gives.
NAMES = {
    # The place and the 107 m (its reports give 108 m) are Mercedes in
    # Corrientes, which a later ISD record of the same site names; Villa
    # Mercedes is in San Luis, 700 km away and 515 m up.
    "87281": "Mercedes",
}


def nsd_degrees(text):
    text = text.strip()
    if len(text) < 2 or text[-1] not in "NSEW":
        return None
    value, scale = 0.0, 1.0
    try:
        for part in text[:-1].split("-"):
            value += float(part) / scale
            scale *= 60
    except ValueError:
        return None
    return -value if text[-1] in "SW" else value


def distance_km(a, b):
    p1, p2 = math.radians(a[0]), math.radians(b[0])
    c = math.sin(p1) * math.sin(p2) + math.cos(p1) * math.cos(p2) * math.cos(math.radians(b[1] - a[1]))
    return 6371.0 * math.acos(max(-1.0, min(1.0, c)))


def read_nsd(path):
    stations = {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            fields = line.rstrip("\r\n").split(";")
            if len(fields) >= 12:
                stations[fields[0] + fields[1]] = fields
    return stations


def read_gempak(path):
    """Index to (lat, lon). The first part of the table numbers stations
    index x 10 (leading zeros dropped) and has more columns than the second."""
    places = {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            number, tail = line[9:15].strip(), line[48:].split()
            if not number.isdigit() or len(tail) < 5:
                continue
            index = int(number)
            if len(tail) >= 7:
                if index % 10:
                    continue
                index //= 10
            if index >= 100000:
                continue
            try:
                places.setdefault("%05d" % index, (int(tail[2]) / 100.0, int(tail[3]) / 100.0))
            except ValueError:
                pass
    return places


def title(name):
    """BUENOS AIRES/MORON(AAFB) to Buenos Aires/Moron(AAFB): words without a
    vowel are abbreviations and stay as they are."""
    def word(w):
        if not any(c in "AEIOUY" for c in w.upper()):
            return w
        return w[:1].upper() + w[1:].lower()
    return re.sub(r"[A-Za-z]+", lambda m: word(m.group(0)), name)


def hemisphere(value, positive, negative):
    return "%.3f%s" % (abs(value), positive if value >= 0 else negative)


def main(isd_path, nsd_path, gempak_path):
    nsd = read_nsd(nsd_path)
    gempak = read_gempak(gempak_path)

    latest = {}
    country_votes = collections.defaultdict(collections.Counter)
    with open(isd_path, newline="", encoding="latin-1") as f:
        for row in csv.DictReader(f):
            usaf = row["USAF"]
            # Stations under a WMO index carry it times ten, with no WBAN number.
            if len(usaf) != 6 or not usaf.isdigit() or usaf[5] != "0" or row["WBAN"] != "99999":
                continue
            if not row["LAT"] or not row["LON"]:
                continue
            lat, lon = float(row["LAT"]), float(row["LON"])
            if (lat == 0 and lon == 0) or abs(lat) > 90 or abs(lon) > 180:
                continue
            index = usaf[:5]
            if index in nsd and row["CTRY"]:
                country_votes[row["CTRY"]][nsd[index][5]] += 1
            if index not in latest or row["END"] > latest[index]["END"]:
                latest[index] = dict(row, lat=lat, lon=lon)

    countries = {code: votes.most_common(1)[0][0] for code, votes in country_votes.items()}
    written = 0
    print("# Land stations that nsd_bbsss.txt lacks, from NOAA's Integrated Surface Database")
    print("# station history; see SOURCES.md. Written by make_isd_stations.py: edit that, not this.")
    for index in sorted(latest):
        row = latest[index]
        # Ships, buoys and the 99xxx and 69xxx ranges are not land stations under a WMO index.
        if index in nsd or index.startswith(("99", "69")):
            continue
        place = (row["lat"], row["lon"])
        second = gempak.get(index)
        if second is not None and distance_km(place, second) > AGREE_KM:
            continue
        if row["END"] < RECENT and index not in CONFIRMED and (second is None or distance_km(place, second) > AGREE_KM):
            continue
        name = NAMES.get(index) or title(row["STATION NAME"].strip())
        if not name or "BOGUS" in row["STATION NAME"].upper() or "BUOY" in row["STATION NAME"].upper():
            continue
        elevation = ""
        if row["ELEV(M)"] and float(row["ELEV(M)"]) > -999:
            elevation = "%d" % round(float(row["ELEV(M)"]))
        icao = row["ICAO"].strip() or "----"
        print(";".join([index[:2], index[2:], icao, name.replace(";", ","), row["STATE"].strip(),
                        countries.get(row["CTRY"], ""), "",
                        hemisphere(row["lat"], "N", "S"), hemisphere(row["lon"], "E", "W"),
                        "", "", elevation, "", ""]))
        written += 1
    print("%d stations written" % written, file=sys.stderr)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
