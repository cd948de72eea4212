#!/usr/bin/env python3
# Draws the product's pictures (splash and about window) as progressive JPEGs into assets/pictures
# with ImageMagick. Run by hand when the pictures change; the results are kept in git.
import math
import os
import subprocess

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "assets", "pictures")


def wheel(cx, cy, r):
    """Tyre, rim, five spokes and the hub of a car wheel."""
    ri = r * 0.62
    args = ["-fill", "#2b2f36", "-draw", f"circle {cx},{cy} {cx + r},{cy}",
            "-fill", "#c9ced6", "-draw", f"circle {cx},{cy} {cx + ri:.0f},{cy}",
            "-stroke", "#7d8590", "-strokewidth", str(max(2, r // 9))]
    for k in range(5):
        t = math.radians(k * 72 - 90)
        args += ["-draw", f"line {cx},{cy} {cx + ri * 0.92 * math.cos(t):.0f},{cy + ri * 0.92 * math.sin(t):.0f}"]
    args += ["-stroke", "none", "-fill", "#596270", "-draw", f"circle {cx},{cy} {cx + r * 0.16:.0f},{cy}"]
    return args


def jpeg(name, size, body):
    cmd = ["convert", "-size", size, "gradient:#f4f6f9-#b9c6d8"] + body + \
          ["-strip", "-quality", "90", "-interlace", "JPEG", os.path.join(OUT, name)]
    subprocess.run(cmd, check=True)


os.makedirs(OUT, exist_ok=True)
jpeg("splash.jpg", "580x214",
     ["-fill", "#1f4e8c", "-draw", "rectangle 0,196 580,214",
      "-fill", "#e8803a", "-draw", "rectangle 0,192 580,195"]
     + wheel(470, 100, 76)
     + ["-font", "DejaVu-Sans-Bold", "-pointsize", "17", "-fill", "#1f4e8c",
        "-annotate", "+20+150", "Склад за авточасти",
        "-font", "DejaVu-Sans", "-pointsize", "11", "-fill", "#ffffff",
        "-annotate", "+20+209", "каталожни номера · цени · доставчици · съвместимост"])
jpeg("about.jpg", "121x169",
     wheel(60, 66, 46)
     + ["-fill", "#1f4e8c", "-draw", "rectangle 0,136 121,169",
        "-font", "DejaVu-Sans-Bold", "-pointsize", "15", "-fill", "#ffffff",
        "-annotate", "+20+158", "Velostok"])
