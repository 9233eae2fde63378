"""The scripts for administrators in rollout/, which ship in the release zip,
against the copies that README.md shows: a reader who copies a block out of
the guide must get the shipped file. Needs no Wine."""

import json
import pathlib
import re
import unittest

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
ROLLOUT = SOURCE_DIR / "rollout"
# A script's block follows a line that names it alone, e.g. `detect.ps1`:
LABEL = re.compile(rb"^`([\w.-]+)`:$")


def readme_blocks():
    """Each named block of README.md, its four spaces of indentation removed."""
    lines = (SOURCE_DIR / "README.md").read_bytes().split(b"\n")
    blocks = {}
    for number, line in enumerate(lines):
        label = LABEL.match(line)
        if not label:
            continue
        body = []
        for text in lines[number + 2:]:
            if text and not text.startswith(b"    "):
                break
            body.append(text[4:])
        while body and not body[-1]:
            body.pop()
        blocks[label.group(1).decode()] = b"\n".join(body) + b"\n"
    return blocks


class rollout_scripts(unittest.TestCase):
    maxDiff = None

    def test_each_readme_block_is_its_file_byte_for_byte(self):
        blocks = readme_blocks()
        files = {path.name: path.read_bytes() for path in ROLLOUT.iterdir()}
        self.assertEqual(sorted(blocks), sorted(files))
        for name, content in files.items():
            with self.subTest(file=name):
                # Line feeds only: the release adds the carriage returns, to
                # the scripts and README.md alike. ASCII, so that PowerShell
                # reads them the same with or without a byte order mark.
                self.assertNotIn(b"\r", content)
                content.decode("ascii")
                self.assertEqual(blocks[name].decode(), content.decode())

    def test_the_remediation_judges_the_check_as_the_detection_does(self):
        detect = (ROLLOUT / "detect.ps1").read_text()
        judgement = detect[:detect.index("\nif ($compromise)")]
        self.assertTrue((ROLLOUT / "remediate.ps1").read_text().startswith(judgement + "\n"))

    def test_the_rules_name_only_settings_the_discovery_script_returns_with_their_types(self):
        script = (ROLLOUT / "discover.ps1").read_text()
        (defaults,) = re.findall(r"^\$hash = \[ordered\]@\{ (.*) \}$", script, re.MULTILINE)
        returned = dict(pair.split(" = ") for pair in defaults.split("; "))
        # Every value that the script sets later has its default, so that it is
        # in the output whatever happens.
        self.assertLessEqual(set(re.findall(r"\$hash\.(\w+) =", script)), set(returned))
        types = {name: "Int64" if re.fullmatch(r"-?\d+", value) else
                 "Boolean" if value in ("$true", "$false") else "String"
                 for name, value in returned.items()}
        rules = json.loads((ROLLOUT / "pelmar-rules.json").read_text())["Rules"]
        self.assertEqual([rule["SettingName"] for rule in rules],
                         ["Host64Bit", "Altered", "Replaced", "Unsigned"])
        for rule in rules:
            with self.subTest(setting=rule["SettingName"]):
                self.assertIn(rule["SettingName"], returned)
                self.assertEqual(rule["DataType"], types[rule["SettingName"]])
                self.assertIs(type(rule["Operand"]), bool if rule["DataType"] == "Boolean" else int)
                self.assertIn("en_US", [text["Language"] for text in rule["RemediationStrings"]])


if __name__ == "__main__":
    unittest.main()
