#!/usr/bin/env python3
"""Compares two sets of window-probe answers field by field.

    compare_probes.py WINE-DIR LAYER-DIR ALLOWED-FILE

Each directory holds one probe answer per compared point (NAME.txt). Every
field of every window and control is compared; a difference passes only
when a line of ALLOWED-FILE matches it:

    KEY-PATTERN | reason
    KEY-PATTERN | WINE-VALUE | LAYER-VALUE | reason

with shell-style patterns over the key (e.g. "call-prompt/box/button#1.text")
and, in the second form, over the values on both sides. Exit code 1 on any
other difference.
"""
import fnmatch
import os
import re
import sys

FIELD = re.compile(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)')


def parse_fields(line):
    return {k: (v[1:-1] if v.startswith('"') else v) for k, v in FIELD.findall(line)}


def parse(path):
    """Windows of one answer: a list of (fields, controls), controls as
    (depth, fields, items)."""
    windows = []
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        stripped = line.lstrip(" ")
        depth = (len(line) - len(stripped)) // 2
        if stripped.startswith("window "):
            windows.append((parse_fields(stripped), []))
        elif stripped.startswith("control ") and windows:
            windows[-1][1].append((depth, parse_fields(stripped), []))
        elif stripped.startswith("item ") and windows and windows[-1][1]:
            windows[-1][1][-1][2].append(stripped.split(" ", 2)[2])
    return windows


def flatten(windows):
    """Field key -> value for one answer."""
    out = {}
    counts = {}
    for fields, controls in windows:
        role = {"Dravik Tirn": "main", "#32770": "box"}.get(fields.get("class"), fields.get("class"))
        n = counts.get(role, 0)
        counts[role] = n + 1
        name = role if n == 0 else f"{role}#{n}"
        x, y, w, h = (fields.get("rect", "0,0,0,0").split(",") + ["0"] * 4)[:4]
        cx, cy, cw, ch = (fields.get("client", "0,0,0,0").split(",") + ["0"] * 4)[:4]
        out[f"{name}.present"] = "yes"
        out[f"{name}.text"] = fields.get("text", "")
        out[f"{name}.position"] = f"{x},{y}"
        out[f"{name}.size"] = f"{w},{h}"
        out[f"{name}.client"] = f"{int(cx) - int(x)},{int(cy) - int(y)},{cw},{ch}"
        out[f"{name}.style"] = fields.get("style", "")
        out[f"{name}.active"] = fields.get("active", "")
        seen = {}
        path = []
        for depth, c, items in controls:
            if role == "box":  # by role, not order: text, icon, buttons
                kind = {"65535": "text", "1088": "icon"}.get(c.get("id"), "button")
            else:
                kind = c.get("class", "")
            parent = "/".join(path[: depth - 1])
            k = seen.get((parent, kind), 0)
            seen[(parent, kind)] = k + 1
            label = f"{kind}#{k}"
            path = path[: depth - 1] + [label]
            key = f"{name}/" + "/".join(path)
            out[f"{key}.present"] = "yes"
            for f in ("class", "id", "text", "rect", "style", "focus", "items", "sel"):
                if f in c:
                    out[f"{key}.{f}"] = c[f]
            for i, item in enumerate(items):
                out[f"{key}.item{i}"] = item
    return out


def load_allowed(path):
    rules = []
    for raw in open(path, encoding="utf-8"):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        parts = [p.strip() for p in line.split("|")]
        if len(parts) == 4:
            rules.append([parts[0], parts[3], 0, parts[1], parts[2]])
        else:
            rules.append([parts[0], parts[-1], 0, None, None])
    return rules


def matches(rule, key, wine, layer):
    if not fnmatch.fnmatchcase(key, rule[0]):
        return False
    return rule[3] is None or (
        fnmatch.fnmatchcase(wine, rule[3]) and fnmatch.fnmatchcase(layer, rule[4]))


def main():
    wine_dir, layer_dir, allowed_file = sys.argv[1:4]
    rules = load_allowed(allowed_file)
    points = sorted(f[:-4] for f in os.listdir(wine_dir) if f.endswith(".txt"))
    if not points:
        print("compare: no Wine answers to compare with", file=sys.stderr)
        return 1
    new, allowed, compared = [], [], 0
    for point in points:
        layer_path = os.path.join(layer_dir, point + ".txt")
        if not os.path.exists(layer_path):
            new.append((f"{point}", "answer", "missing"))
            continue
        a = flatten(parse(os.path.join(wine_dir, point + ".txt")))
        b = flatten(parse(layer_path))
        for key in sorted(set(a) | set(b)):
            compared += 1
            va, vb = a.get(key, "(none)"), b.get(key, "(none)")
            if va == vb:
                continue
            full = f"{point}/{key}"
            rule = next((r for r in rules if matches(r, full, va, vb)), None)
            if rule:
                rule[2] += 1
                allowed.append((full, va, vb, rule[1]))
            else:
                new.append((full, va, vb))
    print(f"compare: {compared} fields at {len(points)} points; "
          f"{len(allowed)} allowed differences, {len(new)} new")
    for full, va, vb, reason in allowed:
        print(f"  allowed  {full}: Wine {va!r}, layer {vb!r}  ({reason})")
    for rule in rules:
        if rule[2] == 0:
            values = f" ({rule[3]!r} / {rule[4]!r})" if rule[3] is not None else ""
            print(f"  unused allowance (no longer differs?): {rule[0]}{values}")
    for full, va, vb in new:
        print(f"  NEW      {full}: Wine {va!r}, layer {vb!r}")
    print(f"{compared - len(new)} passed, {len(new)} failed")
    return 1 if new else 0


if __name__ == "__main__":
    sys.exit(main())
