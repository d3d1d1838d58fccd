#!/usr/bin/env python3
"""Compares the settings tables of docs/host-integration.md with the settings file reader.

Every key the reader knows must be in the guide, every key in the guide must be known, and each
default in the guide must be the one the code uses: "file" from src/config/settings_file.cc and
settings_file_record.h, "built-in" from src/config/settings.h (through the record-to-settings
copy in settings_file_record.cc). Fields of the settings that no key sets must be in the guide's
last table with their built-in default.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
CONFIG = ROOT / "src" / "config"


def read(name):
    return (CONFIG / name).read_text()


def cpp_value(text):
    text = text.strip()
    return {"true": "1", "false": "0"}.get(text, text)


def defaults(header, struct):
    """Member name -> initial value of the struct's plain members (StringT members give "")."""
    body = re.search(r"struct %s \{(.*?)\n\};" % struct, header, re.S).group(1)
    values = {}
    for kind, name, value in re.findall(r"^\s*([\w:]+(?:<[^>]*>)?) (\w+)(?: = ([^;]+))?;", body, re.M):
        if kind == "qx::StringT":
            values[name] = '""'
        elif value:
            values[name] = cpp_value(value)
    return values


def code_tables():
    reader = read("settings_file.cc")
    record = defaults(read("settings_file_record.h"), "SettingsFileRecord")
    settings = defaults(read("settings.h"), "Settings")
    copy = read("settings_file_record.cc")
    to_field = {rec: (field, boolean != "")
                for field, rec, boolean in re.findall(r"settings\.(\w+) = [\w:]*\(?record\.(\w+)\)?( != 0)?;", copy)}

    root = {}
    for key, field in re.findall(r'ReadInt\(\*root, "(\w+)", record\.(\w+)\)', reader):
        target, boolean = to_field[field]
        root[key] = ("boolean" if boolean else "integer", settings[target], record[field], target)
    for field, key, absent in re.findall(r'record\.(\w+) = TextOr\(\*root, "(\w+)", "([^"]*)"\)', reader):
        target, _ = to_field[field]
        root[key] = ("text", settings[target], absent or '""', target)
    for key, absent in re.findall(r'std::string \w+ = TextOr\(\*root, "(\w+)", "([^"]*)"\)', reader):
        root[key] = ("text", "-", absent, None)
    for key, absent in re.findall(r'IntOr\(root, "(\w+)", (-?\d+)\)', reader):
        root[key] = ("integer", "-", absent, None)
    for key in re.findall(r'root\.FirstChildElement\("(\w+)"\)', reader):
        root.setdefault(key, ("text" if key == "server" else "element", "-", "-", None))

    server = {key: ("integer", absent) for key, absent in re.findall(r'IntOr\(\*server, "(\w+)", (-?\d+)\)', reader)}
    for key, absent in re.findall(r'TextOr\(\*server, "(\w+)", "([^"]*)"\)', reader):
        server[key] = ("text", absent or '""')
    for key in re.findall(r'server->FirstChildElement\("(\w+)"\)', reader):
        server.setdefault(key, ("text", "required"))

    set_by_file = {target for _, _, _, target in root.values() if target}
    unset = {name: value for name, value in settings.items() if name not in set_by_file}
    return root, server, unset


def guide_tables():
    """The rows (cells) of each table in the guide's Settings section, in order."""
    text = (ROOT / "docs" / "host-integration.md").read_text()
    section = text.split("\n## Settings\n", 1)[1].split("\n## ", 1)[0]
    tables, current = [], None
    for line in section.splitlines():
        if line.startswith("|"):
            cells = [cell.strip() for cell in line.strip("|").split("|")]
            if current is None:
                current = []
                tables.append(current)
            elif not set(cells[0]) <= set("-"):
                current.append(cells)
        else:
            current = None
    return tables


def main():
    root, server, unset = code_tables()
    tables = guide_tables()
    if len(tables) != 3:
        sys.exit("check-guide-settings: the Settings section must hold three tables, it holds %d" % len(tables))
    problems = []

    def compare(name, guide_rows, code):
        guide = {row[0].strip("`"): tuple(row[1:len(next(iter(code.values()))) + 1]) for row in guide_rows}
        for key in sorted(code.keys() - guide.keys()):
            problems.append("%s: %s is read by the code but missing from the guide" % (name, key))
        for key in sorted(guide.keys() - code.keys()):
            problems.append("%s: %s is in the guide but not read by the code" % (name, key))
        for key in sorted(code.keys() & guide.keys()):
            if guide[key] != code[key]:
                problems.append("%s: %s is %s in the guide, %s in the code" % (name, key, guide[key], code[key]))

    compare("root keys", tables[0], {key: value[:3] for key, value in root.items()})
    compare("server keys", tables[1], server)
    compare("settings no file sets", tables[2], {key: (value,) for key, value in unset.items()})
    for problem in problems:
        print("check-guide-settings: " + problem, file=sys.stderr)
    if problems:
        sys.exit(1)
    print("docs/host-integration.md names the %d root keys, %d server keys and %d other settings "
          "with the code's defaults" % (len(root), len(server), len(unset)))


main()
