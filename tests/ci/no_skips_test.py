"""scripts/no-skips on the JUnit files CTest and Node's test runner write: a skip anywhere it looks
fails, a pass or a skip elsewhere does not, and a file it cannot read is an error of its own."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "no-skips")

# As CTest writes them (a test whose output matched SKIP_REGULAR_EXPRESSION).
CTEST_SKIPPED = """<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="host" tests="2" failures="0" disabled="0" skipped="1" hostname="" time="0">
  <testcase name="MacDesktop.Launches" classname="MacDesktop.Launches" time="0.1" status="run">
    <system-out>[       OK ] MacDesktop.Launches</system-out>
  </testcase>
  <testcase name="MacDesktop.Probes" classname="MacDesktop.Probes" time="0.1" status="notrun">
    <skipped message="SKIP_REGULAR_EXPRESSION_MATCHED"/>
    <system-out>[  SKIPPED ] no desktop session</system-out>
  </testcase>
</testsuite>
"""
CTEST_PASSED = CTEST_SKIPPED.replace('status="notrun"', 'status="run"').replace(
    '<skipped message="SKIP_REGULAR_EXPRESSION_MATCHED"/>', "")

# As Node's junit reporter writes them: a skipped suite is one test case; a suite that ran nests.
NODE_SUITE_SKIPPED = """<?xml version="1.0" encoding="utf-8"?>
<testsuites>
  <testcase name="macOS: the package on the desktop" time="0.0" classname="test">
    <skipped type="skipped" message="needs macOS"/>
  </testcase>
  <testsuite name="the client" tests="1" failures="0" skipped="0">
    <testcase name="launches" time="0.1" classname="test"/>
  </testsuite>
</testsuites>
"""
NODE_CASE_SKIPPED = """<?xml version="1.0" encoding="utf-8"?>
<testsuites>
  <testsuite name="macOS: the package on the desktop" tests="2" failures="0" skipped="1">
    <testcase name="probes while open" time="0.1" classname="test"/>
    <testcase name="probes null once closed" time="0.0" classname="test">
      <skipped type="skipped" message="System Settings ran before the tests"/>
    </testcase>
  </testsuite>
  <testsuite name="the stand-in" tests="1" failures="0" skipped="1">
    <testcase name="e2e" time="0.0" classname="test">
      <skipped type="skipped" message="needs the stand-in"/>
    </testcase>
  </testsuite>
</testsuites>
"""
NODE_OTHER_SKIPPED = NODE_CASE_SKIPPED.replace(
    '<skipped type="skipped" message="System Settings ran before the tests"/>', "")


class NoSkips(unittest.TestCase):
    def run_on(self, text, *options):
        with tempfile.NamedTemporaryFile("w", suffix=".xml", delete=False) as file:
            file.write(text)
        try:
            run = subprocess.run([sys.executable, SCRIPT, *options, file.name],
                                 capture_output=True, text=True)
        finally:
            os.unlink(file.name)
        return run.returncode, run.stderr

    def test_statuses(self):
        cases = [
            ("CTest, one skipped", CTEST_SKIPPED, [], 1, "MacDesktop.Probes"),
            ("CTest, all ran", CTEST_PASSED, [], 0, None),
            ("Node, the suite skipped", NODE_SUITE_SKIPPED, ["--suite", "macOS:"], 1, "needs macOS"),
            ("Node, a skipped suite not looked at", NODE_SUITE_SKIPPED, ["--suite", "other"], 0, None),
            ("Node, a test skipped inside the suite", NODE_CASE_SKIPPED, ["--suite", "macOS:"], 1,
             "probes null once closed"),
            ("Node, a test skipped in another suite", NODE_OTHER_SKIPPED, ["--suite", "macOS:"], 0, None),
            ("Node, every suite looked at", NODE_OTHER_SKIPPED, [], 1, "needs the stand-in"),
            ("not XML", "<testsuite", [], 2, None),
        ]
        for name, text, options, status, shown in cases:
            with self.subTest(name):
                got, stderr = self.run_on(text, *options)
                self.assertEqual(got, status, stderr)
                if shown is not None:
                    self.assertIn(shown, stderr)

    def test_a_missing_file_is_an_error(self):
        run = subprocess.run([sys.executable, SCRIPT, "/nonexistent/junit.xml"],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 2, run.stderr)


if __name__ == "__main__":
    unittest.main()
