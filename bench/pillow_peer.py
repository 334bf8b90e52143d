#!/usr/bin/python3
"""The same job as one glyph8 capture, scripted the way a user would with
Pillow: draw the text at 8 pt on an 81 x 33 white image, read X 0..7 and
Y 1..8, format the line. Prints the median seconds per capture as JSON."""
import json
import statistics
import sys
import time

from PIL import Image, ImageDraw, ImageFont

FONT = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"


def capture(text, font):
    image = Image.new("RGB", (81, 33), "white")
    ImageDraw.Draw(image).text((0, 0), text, font=font, fill="black")
    pixels = image.load()
    values = []
    for x in range(8):
        value = 0
        for y in range(1, 9):
            if pixels[x, y] == (0, 0, 0):
                value += 1 << (y - 1)
        values.append(" %d" % value)
    return "byte d[]={" + ",".join(values) + "};"


def main():
    font = ImageFont.truetype(FONT, 8)
    results = {}
    for name, text in (("digit_six", "6"), ("guo_bitmap_face", "\u570b"),
                       ("shuo_outline_face", "\u8aaa")):
        capture(text, font)
        samples = []
        for _ in range(15):
            n = 200
            start = time.perf_counter()
            for _ in range(n):
                capture(text, font)
            samples.append((time.perf_counter() - start) / n)
        results[name] = statistics.median(samples)
    json.dump(results, sys.stdout)


if __name__ == "__main__":
    main()
