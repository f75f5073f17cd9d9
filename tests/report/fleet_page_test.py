#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""The fleet's page in a real browser: Debian's headless Chromium.

fleet_page_test.py VERDIMOOR_REPORT WORK_FOLDER

The page's DOM must hold a row per machine, those that missed the last
power-off first, and the screenshot must show each day's cell in the colour of what
that day saw, and the table and a long name within a screen 1400 pixels
wide. Chromium is stopped by its own process group, pass or fail.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import unittest

from PIL import Image

REPORT = WORK = None
CHROMIUM = "/usr/bin/chromium"

# A week, Monday 9 to Sunday 15 November 2026, and the Monday and Tuesday
# after it, of five machines; now is that Monday's noon.
LONG = "WorkstationAccounting-MachineRoomWest-Rack07-Unit12-Floor-03"  # 60 characters
MACHINES = {
    "gamma": {},  # no logs at all
    "beta": {  # no schedule: on Monday, a crash on Wednesday
        "2026_11.log": "9 480 UP\r\n9 1020 DOWN    \r\n11 480 UP\r\n11 540 CRASH\r\n",
    },
    "alpha": {  # on since the Sunday before, off at 22:30 on Monday, a crash on Tuesday, on through Wednesday
                # night and Sunday evening
        "PowerOFF.txt": "22 30\r\n",
        "2026_11.log": "8 600 UP\r\n9 120 DOWN    \r\n9 480 UP\r\n9 1350 DOWN    \r\n10 480 UP\r\n10 720 CRASH\r\n11 480 UP\r\n12 540 DOWN    \r\n"
                       "14 600 UP\r\n14 660 DOWN    \r\n15 600 UP\r\n15 1380 DOWN    \r\n",
    },
    LONG: {  # logs from Thursday on
        "2026_11.log": "12 480 UP\r\n12 1020 DOWN    \r\n",
    },
    "delta": {  # off from the first day's midnight on
        "2026_11.log": "8 1200 UP\r\n9 0 DOWN    \r\n",
    },
}
ON_SCHEDULE, MISSED, CRASHED, ON, OFF, NO_DATA = (0x00, 0x9E, 0x73), (0xE6, 0x9F, 0x00), (0xD5, 0x5E, 0x00), \
    (0x56, 0xB4, 0xE9), (0xFF, 0xFF, 0xFF), (0xC8, 0xC8, 0xC8)
# What each day, Monday to the Tuesday after, saw of each machine, in the
# page's order: the one that missed the last power-off, Sunday's, first, then
# the others as given. Nothing is known of the days before a machine's first
# log, nor of the day after now.
DAYS = [
    ("alpha", [ON_SCHEDULE, CRASHED, MISSED, ON_SCHEDULE, OFF, ON_SCHEDULE, MISSED, OFF, NO_DATA]),
    ("gamma", [NO_DATA] * 9),
    ("beta", [ON, OFF, CRASHED, OFF, OFF, OFF, OFF, OFF, NO_DATA]),
    (LONG, [NO_DATA, NO_DATA, NO_DATA, ON, OFF, OFF, OFF, OFF, NO_DATA]),
    ("delta", [OFF] * 8 + [NO_DATA]),
]
NAME_GAP = 8  # between a strip's name and its first day
GRID = (0x8C, 0x8C, 0x8C)  # the rule under the table's headings
PITCH = 18  # a day's cell and the gap after it


def chromium(*arguments):
    """Runs Chromium headless on the page, in a process group of its own."""
    command = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--hide-scrollbars", "--user-data-dir=" + os.path.join(WORK, "profile"), *arguments]
    with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                          start_new_session=True) as browser:
        try:
            out, _ = browser.communicate(timeout=120)
        finally:
            try:
                os.killpg(browser.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    return out


class FleetPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(CHROMIUM):
            raise unittest.SkipTest("missing prerequisite: " + CHROMIUM)
        shutil.rmtree(WORK, ignore_errors=True)
        for machine, files in MACHINES.items():
            os.makedirs(os.path.join(WORK, "share", machine))
            for name, text in files.items():
                with open(os.path.join(WORK, "share", machine, name), "w", newline="") as f:
                    f.write(text)
                if name == "PowerOFF.txt":  # written when the machine was set up: it judges every run
                    os.utime(os.path.join(WORK, "share", machine, name), (946684800, 946684800))
        cls.page = os.path.join(WORK, "fleet.html")
        folders = [os.path.join(WORK, "share", machine) for machine in MACHINES]
        cls.options = ["--since", "2026-11-09", "--until", "2026-11-17", "--now", "2026-11-16T12:00", *folders]
        subprocess.run([REPORT, "--fleet", "--html", cls.page, *cls.options], check=True)
        cls.url = "file://" + cls.page

    def test_a_row_per_machine_those_that_missed_first(self):
        dom = chromium("--dump-dom", self.url)
        rows = re.findall(r'<tr class="machine( missed)?( crashed)?"><td(?: title="([^"]*)")?>([^<]*)</td>', dom)
        # The long name cut to its column, whole on hover, there and in its strip.
        self.assertEqual(rows, [(" missed", "", "", "alpha"), ("", "", "", "gamma"), ("", " crashed", "", "beta"),
                                ("", "", LONG, "WorkstationAccounting-MachineR\u2026"), ("", "", "", "delta")])
        self.assertIn(">WorkstationAccounting-Machi\u2026<title>" + LONG + "</title></text>", dom)
        self.assertIn("<title>alpha, Wed 2026-11-11: 16h 0m on, on past the schedule</title>", dom)
        self.assertIn("<title>gamma, Mon 2026-11-09: no data</title>", dom)
        self.assertEqual(re.findall(r"<td>([a-z-]*)</td></tr>", dom), ["missed", "none", "none", "none", "none"])
        self.assertIn("<title>delta, Mon 2026-11-09: 0m on, off all day</title>", dom)
        # Counted over the week only: Sunday's missed power-off is before it.
        self.assertIn('<td>alpha</td><td>22:30</td><td class="number">6</td><td class="number">1</td>'
                      '<td class="number">1</td><td class="number">2</td><td class="number">11h 0m</td>', dom)
        self.assertNotIn("<script", dom)

    def test_the_table_is_the_fleets_text(self):
        dom = chromium("--dump-dom", self.url)
        # A cut name is whole in its title.
        page = [[title or re.sub("<[^>]*>", "", cell)
                 for title, cell in re.findall(r'<t[dh](?:[^>]*? title="([^"]*)")?[^>]*>(.*?)</t[dh]>', row)]
                for row in re.findall(r"<tr[^>]*>(.*?)</tr>", dom)]
        text = subprocess.run([REPORT, "--fleet", *self.options], check=True, capture_output=True,
                              text=True).stdout.splitlines()
        # The text's columns of its own, the warnings, come after the page's.
        self.assertEqual(page[:-1], [re.split(r"  +", line.strip())[:len(page[0])] for line in text[:-1]])
        self.assertEqual(page[-1], [text[-1]])

    def test_each_day_shows_its_colour(self):
        shot = os.path.join(WORK, "fleet.png")
        chromium("--window-size=1400,900", "--screenshot=" + shot, self.url)
        image = Image.open(shot).convert("RGB")
        # The first missed day's cell, alpha's Wednesday, is the first of its
        # colour on the page: the legend lies under the strips.
        width, height = image.size
        corner = next((x, y) for y in range(height) for x in range(width) if image.getpixel((x, y)) == MISSED)
        for row, (machine, days) in enumerate(DAYS):
            for day, colour in enumerate(days):
                with self.subTest(machine=machine, day=day):
                    centre = (corner[0] + (day - 2) * PITCH + 7, corner[1] + row * PITCH + 7)
                    self.assertEqual(image.getpixel(centre), colour)
        # The long name ends before the gap to its first day, which stays blank.
        first_day, top = corner[0] - 2 * PITCH, corner[1] + 3 * PITCH
        band = [image.getpixel((x, y)) for x in range(first_day - NAME_GAP, first_day - 3) for y in range(top, top + 16)]
        self.assertEqual(set(band), {OFF})
        self.assertLess(min(min(image.getpixel((x, top + 8))) for x in range(first_day - 60, first_day - NAME_GAP)), 128)
        # The table, rule and all, within the screen and its margin.
        rule = next(y for y in range(height) if image.getpixel((width // 2, y)) == GRID)
        self.assertLess(max(x for x in range(width) if image.getpixel((x, rule)) == GRID), width - 16)


if __name__ == "__main__":
    REPORT, WORK = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
