#!/usr/bin/env python3
"""Builds the test corpus: bulletins of land, ship and buoy reports for real
WMO stations, each report encoded here from known values, plus the same
bulletins as a noisy teletype prints them. Writes clean.txt, garbled.txt and
expected.json beside itself. Run again only to change the corpus."""
import json, random, os

rnd = random.Random(1970)
here = os.path.dirname(os.path.abspath(__file__))

# Real station indices: Germany, United Kingdom, France, Scandinavia, Iberia,
# Italy, Eastern Europe; one high station reports a 850 hPa height.
STATIONS = ['10015','10020','10035','10147','10170','10184','10224','10270','10338','10361','10382','10393',
            '10400','10427','10469','10488','10513','10548','10578','10637','10685','10727','10738','10776',
            '10803','10852','10870','10946','03005','03026','03066','03091','03162','03214','03302','03377',
            '03414','03534','03649','03772','03808','03862','07005','07015','07027','07110','07130','07149',
            '07190','07222','07240','07255','07280','07299','02074','02142','02185','02286','02418','02512',
            '01001','01010','01028','01152','01238','01317','01384','01415','01492','06180','06011','06030',
            '08001','08045','08140','08181','08221','08284','08391','08495','16059','16080','16105','16144',
            '16206','16242','16320','16400','11035','11518','12375','12566','11036','11240','12205','12843',
            '13274','15420','16560','06700','06240','06260','06280','06310','06344','06370','06380',
            '06390','06400','06235']

def temp_group(ident, t):
    return f"{ident}{1 if t < 0 else 0}{abs(round(t*10)):03d}"

def vis_code(m):
    if m <= 5000: return m // 100
    if m <= 30000: return m // 1000 + 50
    return 89 if m < 70000 else 89

def land_report(st, rng):
    t = round(rng.uniform(-15, 30), 1)
    td = round(t - rng.uniform(0.2, 12), 1)
    slp = round(rng.uniform(975, 1040), 1)
    stp = round(slp - rng.uniform(0, 40), 1)
    n = rng.randint(0, 8)
    dd = rng.randint(1, 36)
    ff = rng.randint(1, 25)
    vis = rng.choice([800, 2500, 4000, 7000, 10000, 20000, 25000, 35000])
    a = rng.choice([0, 1, 2, 3, 4, 5, 6, 7, 8])
    ppp = 0 if a == 4 else rng.randint(1, 45)
    ww = rng.choice([2, 3, 10, 21, 45, 51, 61, 63, 71, 80, 95])
    ir = rng.choice([1, 1, 3, 4])
    rrr = rng.randint(1, 30)
    vv = vis_code(vis)
    exp = {'station': st, 'air_temp_c': t, 'dew_point_c': td, 'sea_level_pressure_hpa': slp,
           'station_pressure_hpa': stp, 'cloud_cover_okta': n, 'wind_dir_deg': dd*10, 'wind_speed': ff,
           'present_weather_code': ww, 'pressure_tendency': a,
           'pressure_change_hpa': (-ppp if a >= 5 else ppp) / 10}
    exp['visibility_m'] = vv*100 if vv <= 50 else (vv-50)*1000 if vv <= 80 else 70000
    g = [st, f"{ir}1{rng.randint(0,9)}{vv:02d}", f"{n}{dd:02d}{ff:02d}", temp_group(1, t), temp_group(2, td),
         f"3{round(stp*10)%10000:04d}", f"4{round(slp*10)%10000:04d}", f"5{a}{ppp:03d}"]
    if ir == 1:
        g.append(f"6{rrr:03d}1")
        exp['precip_mm'] = rrr
        exp['precip_period_h'] = 6
    g.append(f"7{ww:02d}{rng.randint(3,9)}{rng.randint(0,2)}")
    g.append(f"8{min(n,rng.randint(0,8))}{rng.randint(0,9)}{rng.randint(0,9)}{rng.randint(0,9)}")
    if rng.random() < 0.5:
        tx = round(t + rng.uniform(0, 5), 1)
        tn = round(t - rng.uniform(0, 8), 1)
        g += ['333', temp_group(1, tx), temp_group(2, tn)]
        exp['max_temp_c'] = tx
        exp['min_temp_c'] = tn
        if rng.random() < 0.5:
            g += [f"55{rng.randint(0,140):03d}", f"2{rng.randint(0,2500):04d}"]  # radiation after sunshine
    return g, exp

SHIPS = ['DBBI', 'PBKZ', 'LAOW5', 'OZJA2', 'DGVJ', 'C6FU4', 'ELZW7', 'WDC6923']

def ship_report(rng):
    call = SHIPS.pop(0)
    lat = round(rng.uniform(35, 65), 1)
    lon = round(rng.uniform(-40, 10), 1)
    qc = 7 if lon < 0 else 1
    t = round(rng.uniform(2, 20), 1)
    sst = round(t + rng.uniform(-2, 3), 1)
    g = [call, '08064', f"99{round(lat*10):03d}", f"{qc}{abs(round(lon*10)):04d}", '41/98',
         f"6{rng.randint(1,36):02d}{rng.randint(5,40):02d}", temp_group(1, t), f"4{round(rng.uniform(990,1030)*10)%10000:04d}",
         f"222{rng.randint(0,9)}{rng.randint(0,9)}", temp_group(0, sst)]
    return g, {'station': call, 'lat': lat, 'lon': lon, 'air_temp_c': t, 'sea_surface_temp_c': sst, 'wind_unit': 'kt'}

def wrap(groups, width=60):
    lines, line = [], ''
    for gr in groups:
        if line and len(line) + 1 + len(gr) > width:
            lines.append(line)
            line = ' ' + gr
        else:
            line = gr if not line else line + ' ' + gr
    lines.append(line)
    return lines

clean, garbled, expected, damaged = [], [], [], {}
stations = STATIONS[:]
rng = rnd
for b in range(10):
    heading = f"SMEU{b+1:02d} EGRR 08{6 if b % 2 else 0:02d}00"
    reports = []
    if b == 9:
        heading = "SMVX01 EGRR 080600"
        reports = [ship_report(rng) for _ in range(6)]
    else:
        for _ in range(12):
            reports.append(land_report(stations.pop(0) if stations else '10015', rng))
    section0 = 'BBXX' if b == 9 else f"AAXX 08{6 if b % 2 else 0:02d}1"
    body = [['ZCZC %03d' % (b + 1)], [heading], [section0]]
    for groups, exp in reports:
        exp['day'] = 8
        exp['hour'] = 6 if (b % 2 or b == 9) else 0
        if b == 9: exp['hour'] = 6
        expected.append(exp)
        lines = wrap(groups)
        lines[-1] += '='
        body.append(lines)
    if b in (2, 5):
        nil = '06290' if b == 2 else '03953'
        body.append([nil + ' NIL='])
        expected.append({'station': nil, 'nil': True, 'day': 8, 'hour': 6 if b % 2 else 0})
    body.append(['NNNN'])
    clean.append('\r\n'.join(l for part in body for l in part) + '\r\n\r\n')

    # The same bulletin as a noisy teletype prints it.
    out = '\x01\r\r\n'
    for k, part in enumerate(body):
        for line in part:
            end = rng.choice(['\r\r\n', '\r\n', '\n', '\r'])
            out += line + end
    if b < 9:
        # letters case for one group of the third report: read back as figures
        st3 = reports[2][0][0]
        lines = wrap(reports[2][0])
        target = reports[2][0][3]
        letters = target.translate(str.maketrans('0123456789/', 'PQWERTYUIOX'))
        out = out.replace(st3 + ' ' + reports[2][0][1] + ' ' + reports[2][0][2] + ' ' + target,
                          st3 + ' ' + reports[2][0][1] + ' ' + reports[2][0][2] + ' ' + letters, 1)
        damaged[st3] = 'letters/figures shift'
        # a bit error in the fifth report's pressure group
        st5 = reports[4][0][0]
        p = reports[4][0][5]
        out = out.replace(' ' + p + ' ', ' ' + p[:2] + '(' + p[3:] + ' ', 1)
        damaged[st5] = 'garbled'
        # the seventh report loses its '='
        st7 = reports[6][0][0]
        last = wrap(reports[6][0])[-1] + '='
        out = out.replace(last, last[:-1], 1)
        damaged[st7] = "not ended by '='"
    out += '\x03'
    garbled.append(out)
    if b == 3:
        garbled.append(out)  # repeated bulletin

with open(os.path.join(here, 'clean.txt'), 'w', newline='') as f:
    f.write(''.join(clean))
with open(os.path.join(here, 'garbled.txt'), 'w', newline='') as f:
    f.write(''.join(garbled))
with open(os.path.join(here, 'expected.json'), 'w') as f:
    json.dump({'reports': expected, 'damaged': damaged}, f, indent=1)
print(len(expected), 'reports,', len(damaged), 'damaged')
