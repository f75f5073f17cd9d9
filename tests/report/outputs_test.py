#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""verdimoor-report's picture, page and metrics, end to end.

outputs_test.py VERDIMOOR_REPORT WORK_FOLDER

The SVG is rendered by rsvg-convert and the bars are looked for where a
person reads them: in the row of their day, under the hour labels. The page
must be well-formed. The metrics must parse with Prometheus's own parser and
equal the JSON summary of the same folder.
"""
import json
import os
import shutil
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ElementTree

from PIL import Image
from prometheus_client.parser import text_string_to_metric_families

REPORT = WORK = None
NOW = "2026-12-03T12:01"
ZONE = "Europe/Berlin"

# Two months of one machine: a clean stop, a scheduled power-off, a crash, a
# run across the month's end and midnight that stayed on past the 22:30
# power-off, a run without a closing record and the run still going at NOW;
# and a damaged line.
LOGS = {
    "PowerOFF.txt": "22 30\r\n",
    "2026_11.log": "3 600 UP\r\n3 1020 DOWN    \r\n4 540 UP\r\n4 1350 PDOWN\r\n5 480 UP\r\n5 780 CRASH\r\n"
                   "30 1200 UP\r\n1 180 DOWN    \r\n",
    "2026_12.log": "2 600 UP\r\n3 480 UP\r\n3 720 CRASH\r\nthis line is damaged\r\n",
}
DOWN, PDOWN, CRASH, UNKNOWN, RUNNING = "#0072B2", "#009E73", "#D55E00", "#CC79A7", "#E69F00"
WHITE, WEEKEND, NO_DATA = "#FFFFFF", "#EBEBEB", "#C8C8C8"


def run(*arguments, **kwargs):
    return subprocess.run([REPORT, *arguments], check=True, capture_output=True, text=True,
                          env=dict(os.environ, TZ=ZONE), **kwargs).stdout


def rgb(hex_colour):
    return tuple(int(hex_colour[i:i + 2], 16) for i in (1, 3, 5))


class Outputs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        cls.logs = os.path.join(WORK, "alpha")
        os.makedirs(cls.logs)
        for name, text in LOGS.items():
            with open(os.path.join(cls.logs, name), "w", newline="") as log:
                log.write(text)
            if name == "PowerOFF.txt":  # written when the machine was set up: it judges every run
                os.utime(os.path.join(cls.logs, name), (946684800, 946684800))
        # A second machine with a run in each of 200 months: its picture is
        # larger than the program keeps in memory while it waits.
        cls.long = os.path.join(WORK, "long")
        os.makedirs(cls.long)
        for month in range(200):
            with open(os.path.join(cls.long, f"{2000 + month // 12}_{month % 12 + 1}.log"), "w", newline="") as log:
                log.write("2 600 UP\r\n2 700 DOWN    \r\n")

    def render(self, *selection):
        svg = os.path.join(WORK, "picture.svg")
        png = os.path.join(WORK, "picture.png")
        run(self.logs, "--now", NOW, "--svg", svg, *selection)
        subprocess.run(["rsvg-convert", svg, "-o", png], check=True)
        return ElementTree.parse(svg).getroot(), Image.open(png).convert("RGB")

    def test_bars_carry_their_runs_colour_where_their_time_is(self):
        root, image = self.render()
        texts = {}
        for text in root.iter("{http://www.w3.org/2000/svg}text"):
            texts.setdefault(text.text, []).append((float(text.get("x")), float(text.get("y"))))
        midnight, next_midnight = texts["00:00"][0][0], texts["24:00"][0][0]

        def pixel(day, minute, dy=-4):
            (_, label_y), = texts[day]  # every day label is unique in these two months
            x = midnight + minute * (next_midnight - midnight) / 1440
            return image.getpixel((int(x), int(label_y + dy)))

        cases = [  # day label, minute of the day, colour
            ("Tue 3", 13 * 60 + 30, DOWN), ("Wed 4", 20 * 60 + 10, PDOWN), ("Thu 5", 10 * 60 + 10, CRASH),
            ("Mon 30", 22 * 60 + 10, DOWN), ("Tue 1", 90, DOWN),  # across midnight, into the next month
            ("Wed 2", 10 * 60 + 1, UNKNOWN), ("Thu 3", 10 * 60 + 10, RUNNING),
            ("Tue 3", 5 * 60 + 30, WHITE), ("Thu 5", 14 * 60 + 30, WHITE), ("Sat 7", 12 * 60 + 30, WEEKEND),
            # Nothing is known before the first log's first run, nor after now,
            # on a weekend too.
            ("Sun 1", 12 * 60 + 30, NO_DATA), ("Mon 2", 12 * 60 + 30, NO_DATA), ("Fri 4", 12 * 60 + 30, NO_DATA),
            ("Sat 5", 12 * 60 + 30, NO_DATA),
        ]
        for day, minute, colour in cases:
            with self.subTest(day=day, minute=minute):
                self.assertEqual(pixel(day, minute), rgb(colour))
        self.assertIn("no data: before the first log, or after now", texts)
        # The crash's mark at its last minute, 13:00, at the top of its row.
        self.assertLess(max(pixel("Thu 5", 13 * 60 - 1, dy=-11)), 80)
        # The mark of the run on past the power-off, on its bar at 22:30; and
        # the dashed line of the scheduled minute across a row without a run.
        self.assertLess(max(pixel("Mon 30", 22 * 60 + 30)), 80)
        self.assertLess(min(max(pixel("Sat 7", 22 * 60 + 30, dy=dy)) for dy in range(-12, 4)), 80)

    def test_since_and_until_choose_the_months(self):
        cases = [((), ["November 2026", "December 2026"]),
                 (("--since", "2026-12-01"), ["December 2026"]),
                 (("--until", "2026-11-30"), ["November 2026"]),
                 # The run of 30 November ends in December: cut at --until's month.
                 (("--since", "2026-11-04", "--until", "2026-11-30"), ["November 2026"]),
                 # Far bounds draw no empty months.
                 (("--since", "2000-01-01", "--until", "9999-12-31"), ["November 2026", "December 2026"]),
                 (("--since", "2027-01-01"), [])]
        for selection, months in cases:
            with self.subTest(selection=selection):
                root, _ = self.render(*selection)
                headings = [t.text for t in root.iter("{http://www.w3.org/2000/svg}text")
                            if t.text and t.text.endswith(" 2026") and t.get("font-size") == "15"]
                self.assertEqual(headings, months)

    def test_page_is_well_formed(self):
        page = os.path.join(WORK, "page.html")
        for folders in ([self.logs], [self.logs, self.long]):
            with self.subTest(folders=folders):
                run(*folders, "--now", NOW, "--html", page)
                # Well-formed XML, and HTML whose only complaint is the inline
                # SVG's element names, which libxml2's HTML 4 parser does not know.
                subprocess.run(["xmllint", "--noout", page], check=True)
                html = subprocess.run(["xmllint", "--html", "--noout", page], capture_output=True, text=True)
                self.assertEqual(html.returncode, 0)
                complaints = [line for line in html.stderr.splitlines() if "parser error" in line and not any(
                    f"Tag {tag} invalid" in line for tag in ("svg", "title", "rect", "text", "line", "path"))]
                self.assertEqual(complaints, [])
                with open(page, encoding="utf-8") as f:
                    text = f.read()
                self.assertIn("2026-11-30 20:00", text)  # the table of runs
                self.assertNotIn("<script", text)
        self.assertIn("2016-08-02 10:00", text)  # the long machine's last run, after its 200 months' picture
        # So are the picture and both pages of a folder whose name holds
        # U+FFFF, which XML does not allow.
        strange = os.path.join(WORK, "alpha\uffff")
        shutil.copytree(self.logs, strange, dirs_exist_ok=True)
        for output in (["--svg", "-"], ["--html", "-"], ["--fleet", "--html", "-"]):
            with self.subTest(output=output):
                subprocess.run(["xmllint", "--noout", "-"], check=True, text=True,
                               input=run(strange, "--now", NOW, *output))

    def test_outputs_of_one_run_are_those_of_each_alone(self):
        # The picture and the page wait for every machine, and the printed
        # output waits for them; the long machine's picture waits in a file.
        folders = [self.logs, self.long, "--now", NOW]
        paths = {kind: os.path.join(WORK, f"all.{kind}") for kind in ("svg", "html", "json")}
        run(*folders, "--svg", paths["svg"], "--html", paths["html"], "--json", "--output", paths["json"])
        for kind, path in paths.items():
            with self.subTest(kind=kind):
                alone = run(*folders, "--json") if kind == "json" else run(*folders, f"--{kind}", "-")
                if kind != "json":
                    self.assertGreater(len(alone), 1 << 20)
                with open(path, encoding="utf-8") as f:
                    self.assertEqual(f.read(), alone)
        self.assertEqual([f for f in os.listdir(WORK) if f.startswith(".")], [])

    def test_metrics_equal_the_json_summary(self):
        output = os.path.join(WORK, "verdimoor.prom")
        run(self.logs, "--now", NOW, "--openmetrics", "--output", output)
        with open(output) as f:
            families = {family.name: family for family in text_string_to_metric_families(f.read())}
        machine = json.loads(run(self.logs, "--now", NOW, "--json"))["machines"][0]
        summary, runs = machine["summary"], machine["runs"]

        os.environ["TZ"] = ZONE
        time.tzset()

        def unix(moment):
            return time.mktime(time.strptime(moment, "%Y-%m-%dT%H:%M") [:8] + (-1,))

        def value(name, **labels):
            samples = [s for s in families[name].samples if s.labels == {"machine": "alpha", **labels}]
            self.assertEqual(len(samples), 1, name)
            return samples[0].value

        # The uptime counter stops at the running run's last sign of life:
        # the minutes since may yet turn out to be downtime.
        unseen = (unix(NOW) - unix(summary["last_end"])) // 60 if summary["state"] == "up" else 0
        expected = {
            ("verdimoor_uptime_seconds", ()): (summary["uptime_minutes"] - unseen) * 60,
            ("verdimoor_downtime_seconds", ()): summary["downtime_minutes"] * 60,
            ("verdimoor_availability_ratio", ()): summary["availability"],
            ("verdimoor_running", ()): summary["running"],
            ("verdimoor_newest_run_ended", (("ended", summary["newest_run_ended"]),)): 1,
            ("verdimoor_newest_run_ended", (("ended", "crash"),)): 0,
            ("verdimoor_state_since_timestamp_seconds", ()): unix(summary["state_since"]),
            ("verdimoor_last_seen_timestamp_seconds", ()): unix(summary["last_end"]),
            ("verdimoor_last_start_timestamp_seconds", ()): unix(runs[-1]["start"]),
            ("verdimoor_last_crash_timestamp_seconds", ()):
                unix(max(r["end"] for r in runs if r["ended"] == "crash")),
            ("verdimoor_last_pdown_timestamp_seconds", ()):
                unix(max(r["end"] for r in runs if r["ended"] == "pdown")),
            ("verdimoor_log_warnings", ()): summary["warnings"],
            ("verdimoor_poweroffs_missed", ()): summary["poweroffs_missed"],
            ("verdimoor_past_schedule_seconds", ()): summary["minutes_past_schedule"] * 60,
            ("verdimoor_poweroff_minute_of_day", ()): 22 * 60 + 30,
        }
        for ended in ("down", "pdown", "crash", "unknown"):
            expected[("verdimoor_runs", (("ended", ended),))] = summary[ended]
        for (name, labels), want in expected.items():
            with self.subTest(metric=name, labels=labels):
                self.assertEqual(value(name, **dict(labels)), want)
        self.assertEqual(summary["warnings"], 1)
        self.assertEqual((summary["schedule"], summary["poweroffs_missed"]), ("22:30", 1))
        self.assertEqual([f for f in os.listdir(WORK) if f.endswith(".tmp")], [])


if __name__ == "__main__":
    REPORT, WORK = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
