#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""The fleet's page in a real browser: Debian's headless Chromium.

fleet_page_test.py VERDIMOOR_REPORT WORK_FOLDER

The page's DOM must hold a row per machine, those that missed the last
power-off first, and the screenshot must show each day's cell in the colour of what
that day saw. Chromium is stopped by its own process group, pass or fail.
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

# A week, Monday 9 to Sunday 15 November 2026, of three machines.
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
}
ON_SCHEDULE, MISSED, CRASHED, ON, OFF = (0x00, 0x9E, 0x73), (0xE6, 0x9F, 0x00), (0xD5, 0x5E, 0x00), \
    (0x56, 0xB4, 0xE9), (0xFF, 0xFF, 0xFF)
# What each day, Monday to Sunday, saw of each machine, in the page's order:
# the one that missed the last power-off, Sunday's, first, then the others as
# given.
DAYS = [
    ("alpha", [ON_SCHEDULE, CRASHED, MISSED, ON_SCHEDULE, OFF, ON_SCHEDULE, MISSED]),
    ("gamma", [OFF] * 7),
    ("beta", [ON, OFF, CRASHED, OFF, OFF, OFF, OFF]),
]
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
        cls.page = os.path.join(WORK, "fleet.html")
        folders = [os.path.join(WORK, "share", machine) for machine in MACHINES]
        cls.options = ["--since", "2026-11-09", "--until", "2026-11-15", "--now", "2026-11-16T12:00", *folders]
        subprocess.run([REPORT, "--fleet", "--html", cls.page, *cls.options], check=True)
        cls.url = "file://" + cls.page

    def test_a_row_per_machine_those_that_missed_first(self):
        dom = chromium("--dump-dom", self.url)
        rows = re.findall(r'<tr class="machine( missed)?( crashed)?"><td>([^<]*)</td>', dom)
        self.assertEqual(rows, [(" missed", "", "alpha"), ("", "", "gamma"), ("", " crashed", "beta")])
        self.assertIn("<title>alpha, Wed 2026-11-11: 16h 0m on, on past the schedule</title>", dom)
        self.assertEqual(re.findall(r"<td>([a-z-]*)</td></tr>", dom), ["missed", "none", "none"])
        # Counted over the week only: Sunday's missed power-off is before it.
        self.assertIn('<td>alpha</td><td>22:30</td><td class="number">6</td><td class="number">1</td>'
                      '<td class="number">1</td><td class="number">2</td><td class="number">11h 0m</td>', dom)
        self.assertNotIn("<script", dom)

    def test_the_table_is_the_fleets_text(self):
        dom = chromium("--dump-dom", self.url)
        page = [[re.sub("<[^>]*>", "", cell) for cell in re.findall(r"<t[dh][^>]*>(.*?)</t[dh]>", row)]
                for row in re.findall(r"<tr[^>]*>(.*?)</tr>", dom)]
        text = subprocess.run([REPORT, "--fleet", *self.options], check=True, capture_output=True,
                              text=True).stdout.splitlines()
        self.assertEqual(page[:-1], [re.split(r"  +", line.strip()) for line in text[:-1]])
        self.assertEqual(page[-1], [text[-1]])

    def test_each_day_shows_its_colour(self):
        shot = os.path.join(WORK, "fleet.png")
        chromium("--window-size=1000,700", "--screenshot=" + shot, self.url)
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


if __name__ == "__main__":
    REPORT, WORK = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
