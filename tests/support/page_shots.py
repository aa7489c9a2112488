#!/usr/bin/env python3
"""Checks what page_check.py photographed against what the page said it drew there: the
aircraft moved between the first and the last shot and stands out from the ground around
it, the track shows in its colour where the page says it runs, and the ground shows
imagery rather than one flat colour or the sky.

    page_shots.py OUT [--camera-follows]

With --camera-follows (a chase view, where the aircraft keeps its place on the screen) the
view around it must have changed between the shots instead. OUT is page_check.py's output folder (report.json and the shots). Prints one line per
fault and exits 1 when there is any.
"""

import json
import math
import os
import sys

# No compiled copy of the reader left in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import png_pixels  # noqa: E402

# Colours are compared by their largest channel difference. The track's tolerance allows for
# its lighting and the edge blending of a thin line; the others are what the eye calls a
# different colour.
TRACK_TOLERANCE = 48
DIFFERENT = 40
AIRCRAFT_MOVED_PX = 8
VIEW_CHANGED_SHARE = 0.2
AIRCRAFT_RING_PX = 40
TRACK_SHARE = 0.6
TRACK_SEARCH_PX = 2
MIN_PROBES = 3


def distance(a, b):
    return max(abs(int(p) - int(q)) for p, q in zip(a, b))


def clamp_pixel(image, x, y):
    x = min(max(int(x), 0), image.width - 1)
    y = min(max(int(y), 0), image.height - 1)
    return image.pixel(x, y)


def median_colour(colours):
    return tuple(sorted(c[i] for c in colours)[len(colours) // 2] for i in range(3))


def ring(image, x, y, radius):
    return [clamp_pixel(image, x + radius * math.cos(k * math.pi / 16), y + radius * math.sin(k * math.pi / 16))
            for k in range(32)]


def check_aircraft(shot, image, faults):
    where = shot.get("aircraft")
    label = f"at {shot['seconds']:g} s"
    if not where:
        faults.append(f"{label} the page says the aircraft is off screen")
        return None
    x, y = where["x"], where["y"]
    if not (0 <= x < image.width and 0 <= y < image.height):
        faults.append(f"{label} the aircraft's position ({x:.0f}, {y:.0f}) is outside the {image.width} x {image.height} view")
        return None
    around = median_colour(ring(image, x, y, AIRCRAFT_RING_PX))
    # Most of the 5 x 5 pixels at its centre: the track, a line a pixel or two wide that
    # runs through the aircraft, covers fewer.
    centre = [clamp_pixel(image, x + dx, y + dy) for dx in range(-2, 3) for dy in range(-2, 3)]
    standing_out = sum(distance(colour, around) > DIFFERENT for colour in centre)
    if standing_out < 13:
        faults.append(f"{label} the aircraft at ({x:.0f}, {y:.0f}) has the colour of the ground around it {around}"
                      f" at {25 - standing_out} of the 25 pixels at its centre")
    return x, y


def probes_of(shot, kind, faults):
    probes = shot.get(kind) or []
    if len(probes) < MIN_PROBES:
        faults.append(f"at {shot['seconds']:g} s the page names {len(probes)} {kind} points on screen, fewer than {MIN_PROBES}")
        return None
    return probes


def check_track(shot, image, faults):
    probes = probes_of(shot, "track", faults)
    label = f"at {shot['seconds']:g} s"
    if not probes:
        return
    seen = 0
    for probe in probes:
        colour = [round(c) for c in probe["colour"]]
        near = [clamp_pixel(image, probe["x"] + dx, probe["y"] + dy)
                for dx in range(-TRACK_SEARCH_PX, TRACK_SEARCH_PX + 1) for dy in range(-TRACK_SEARCH_PX, TRACK_SEARCH_PX + 1)]
        if any(distance(pixel, colour) <= TRACK_TOLERANCE for pixel in near):
            seen += 1
    if seen < TRACK_SHARE * len(probes):
        faults.append(f"{label} the track shows in its colour at {seen} of its {len(probes)} points")


def check_ground(shot, image, faults):
    probes = probes_of(shot, "ground", faults)
    label = f"at {shot['seconds']:g} s"
    if not probes:
        return
    colours = [clamp_pixel(image, p["x"], p["y"]) for p in probes]
    spread = max(max(c[i] for c in colours) - min(c[i] for c in colours) for i in range(3))
    if spread <= DIFFERENT // 2:
        faults.append(f"{label} the ground is one flat colour at its {len(probes)} points (channels within {spread})")
    # The sky: the commonest colour of the view's top row, where a camera that sees any sky
    # sees it; a view of ground alone has no commonest colour that most of the ground shares.
    top = [image.pixel(x, 0) for x in range(image.width)]
    sky = max(set(top), key=top.count)
    like_sky = sum(distance(c, sky) <= DIFFERENT // 2 for c in colours)
    if like_sky > len(colours) // 2:
        faults.append(f"{label} {like_sky} of the {len(colours)} ground points have the sky's colour {sky}")


def main():
    arguments = sys.argv[1:]
    follows = "--camera-follows" in arguments
    arguments = [a for a in arguments if a != "--camera-follows"]
    if len(arguments) != 1:
        print("usage: page_shots.py OUT [--camera-follows]", file=sys.stderr)
        return 2
    folder = arguments[0]
    with open(os.path.join(folder, "report.json")) as file:
        report = json.load(file)
    faults = [f"request outside the page's folder: {r['url']}" for r in report.get("outside", [])]
    faults += [f"console error: {m['text']}" for m in report.get("console", []) if m["level"] == "error"]
    shots = report.get("shots", [])
    if len(shots) < 2:
        faults.append(f"{len(shots)} shots, where the check wants two to compare")
    positions, images = [], []
    for shot in shots:
        image = png_pixels.read(os.path.join(folder, shot["file"]))
        images.append(image)
        positions.append(check_aircraft(shot, image, faults))
        check_track(shot, image, faults)
        check_ground(shot, image, faults)
    if follows and len(images) >= 2:
        # A camera that follows the aircraft keeps it in its place on the screen: the world
        # moves past it instead.
        first, last = images[0], images[-1]
        points = [(x, y) for x in range(0, first.width, 8) for y in range(0, first.height, 8)]
        changed = sum(distance(first.pixel(x, y), last.pixel(x, y)) > DIFFERENT for x, y in points)
        if changed < VIEW_CHANGED_SHARE * len(points):
            faults.append(f"the view behind the aircraft is the same at {shots[0]['seconds']:g} s and {shots[-1]['seconds']:g} s"
                          f" ({changed} of {len(points)} points changed)")
    elif len(positions) >= 2 and positions[0] and positions[-1]:
        moved = max(abs(positions[0][0] - positions[-1][0]), abs(positions[0][1] - positions[-1][1]))
        if moved <= AIRCRAFT_MOVED_PX:
            faults.append(f"the aircraft stands within {moved:.1f} px between {shots[0]['seconds']:g} s and {shots[-1]['seconds']:g} s")
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
