"""varnoquelbit-compare's results page in a real browser: headless Chromium
driven by Selenium (Debian: chromium, chromium-driver, python3-selenium;
tools/install_packages.sh browser). Without them the tests skip and say why,
except under CI (CI=true), where a skip is a failure.

  /usr/bin/python3 -m unittest -v test_compare_page      (in tests/tools)

The page is made from two runs on two drives written by the test itself; a
screenshot of it is saved as docs/compare-page.png, which the README shows.
"""

import os
import shutil
import subprocess
import tempfile
import unittest

from test_compare import ROOT, TOOL, markdown_table, skip_or_fail, two_drives

SCREENSHOT = os.path.join(ROOT, "docs", "compare-page.png")
BROWSERS = ("chromium", "chromium-browser")
DRIVERS = ("chromedriver", "/usr/lib/chromium/chromedriver")


def start_browser():
    """(driver, None), or (None, why no browser can be started)."""
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        return None, "Selenium is missing (Debian: python3-selenium)"
    browser = next(filter(None, map(shutil.which, BROWSERS)), None)
    if not browser:
        return None, "Chromium is missing (Debian: chromium)"
    driver = next(filter(None, map(shutil.which, DRIVERS)), None)
    if not driver:
        return None, "chromedriver is missing (Debian: chromium-driver)"
    options = webdriver.ChromeOptions()
    options.binary_location = browser
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=1200,1000"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    try:
        return webdriver.Chrome(service=Service(driver), options=options), None
    except Exception as error:  # Selenium reports a failed start in many ways
        return None, "Chromium did not start: %s" % str(error).splitlines()[0]


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.files, cls.runs = two_drives(cls.dir.name)
        cls.page = os.path.join(cls.dir.name, "runs.html")
        done = subprocess.run([TOOL, "--html", cls.page, "--markdown"] + cls.files,
                              capture_output=True, text=True, timeout=120)
        cls.tool_failure = done.stderr if done.returncode else None
        cls.markdown = done.stdout
        cls.driver, cls.no_browser = start_browser()

    @classmethod
    def tearDownClass(cls):
        if cls.driver:
            cls.driver.quit()
        cls.dir.cleanup()

    def setUp(self):
        self.assertIsNone(self.tool_failure)
        if not self.driver:
            skip_or_fail(self, self.no_browser)
        self.driver.get_log("browser")  # what earlier pages logged
        self.driver.get("file://" + self.page)

    def rows(self):
        """The texts of the cells of the rows shown, in order."""
        return self.driver.execute_script(
            "return Array.from(document.querySelectorAll('#results tbody tr'))"
            ".filter(r => getComputedStyle(r).display !== 'none')"
            ".map(r => Array.from(r.cells).map(c => c.textContent));")

    def marks(self, kind):
        return len(self.driver.find_elements("css selector", "#chart ." + kind))

    def choose(self, select, text):
        from selenium.webdriver.support.ui import Select
        Select(self.driver.find_element("id", select)).select_by_visible_text(text)

    def test_page_loads_without_errors_and_holds_the_markdowns_numbers(self):
        errors = [entry for entry in self.driver.get_log("browser")
                  if entry["level"] in ("SEVERE", "WARNING")]
        self.assertEqual(errors, [])
        # The log does catch what a page reports.
        self.driver.execute_script("console.error('probe')")
        self.assertTrue(any("probe" in entry["message"] for entry in self.driver.get_log("browser")))
        expected = markdown_table(self.markdown)
        self.assertEqual(len(expected), 4)
        self.assertEqual(self.rows(), expected)
        self.driver.save_screenshot(SCREENSHOT)
        with open(SCREENSHOT, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")

    def test_sorting_and_filtering_change_the_rows(self):
        before = self.rows()
        self.driver.find_element("xpath", "//th[text()='MB/s']").click()
        speeds = [float(row[3]) for row in self.rows()]
        self.assertEqual(speeds, sorted(speeds))
        self.assertNotEqual(self.rows(), before)
        self.driver.find_element("xpath", "//th[text()='MB/s']").click()
        self.assertEqual([float(row[3]) for row in self.rows()], sorted(speeds, reverse=True))

        stick = "Cruzer Blade vfat /media/me/USB DISK"
        self.choose("filter-drive", stick)
        self.assertEqual({row[2] for row in self.rows()}, {stick})
        self.assertEqual(len(self.rows()), 2)
        self.choose("filter-test", "HL C: 64M 4File(s)")
        self.assertEqual(len(self.rows()), 1)
        self.choose("filter-drive", "all")
        self.choose("filter-test", "all")
        self.choose("filter-date", "2026-12-08")
        self.assertEqual({row[1] for row in self.rows()}, {"1: 2026-12-08 10:15 UTC"})

    def test_chart_has_a_mark_per_trial_and_hiding_a_run_removes_its_own(self):
        trials = [[t for t in test["trials"] if t["mb_per_s"] is not None]
                  for run in self.runs for test in run["tests"]]
        self.assertEqual(self.marks("trial"), sum(map(len, trials)))
        self.assertEqual(self.marks("average"), len(trials))
        # The speeds span more than 20x: the page starts on a log scale.
        log_box = self.driver.find_element("id", "log-scale")
        self.assertTrue(log_box.is_selected())
        ticks = self.driver.execute_script(
            "return Array.from(document.querySelectorAll('#chart text')).map(t => t.textContent)")
        self.assertIn("1000", ticks)
        self.assertIn("10", ticks)
        self.assertIn("MB/s (log scale)", ticks)
        log_box.click()
        ticks = self.driver.execute_script(
            "return Array.from(document.querySelectorAll('#chart text')).map(t => t.textContent)")
        self.assertIn("MB/s", ticks)
        self.assertNotIn("1000", ticks)  # linear: 0, 50, ... 350
        self.assertEqual(self.marks("trial"), sum(map(len, trials)))

        self.driver.find_element("css selector", "input.run-shown[data-run='0']").click()
        second = sum(map(len, trials[2:]))
        self.assertEqual(self.marks("trial"), second)
        self.assertEqual({row[1] for row in self.rows()}, {"2: 2026-12-09 08:00 UTC"})
        # Each run's system and volume is one click away.
        details = self.driver.find_elements("css selector", ".runs details")
        self.assertEqual(len(details), 2)
        details[1].find_element("css selector", "summary").click()
        shown = details[1].text
        for fact in ("6.1.0-27-amd64", "Debian GNU/Linux 12", "sda", "usb", "vfat",
                     "/media/me/USB DISK"):
            self.assertIn(fact, shown)


if __name__ == "__main__":
    unittest.main()
