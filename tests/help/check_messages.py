#!/usr/bin/env python3
"""Fails while a status bar text of the program is missing from the help's
list of messages (html_help/messages.html).

A status text is a tr() (or translate()) literal passed to a function that
shows it in the status bar (CALLS), or one in the body of a function whose
result is shown there (FUNCTIONS). %1, %2... stand for any text on the page.
Usage: check_messages.py SOURCE_DIR
"""
import html
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
CALLS = re.compile(r'(\b(show_status|showMessage|status_message|show_message|notice)'
                   r'|\bemit\s+error)\s*\(')
# Functions whose result goes to the status bar, as Class::name.
FUNCTIONS = ['SearchEngine::status_text', 'EditedFile::busy_message',
             'EditedFile::past_end_message', 'FindAllTool::count_text',
             'FindAllTool::stale_text', 'FindAllTool::mark_all', 'TemplateRun::apply',
             'TreeViewDelegate::refusal_reason', 'FileActions::data_file_refusal',
             'KsyResult::message']
# Texts in those functions that are not messages: the markups' names.
NOT_MESSAGES = {'hit %1 of %2: \\"%3\\"'}
TR = re.compile(r'\b(?:tr|translate)\(\s*(?:"[^"]*"\s*,\s*)?"((?:[^"\\]|\\.)*)"')


def enclosed(text, start, opening, closing):
    """The text between the bracket at start - 1 and its partner."""
    depth, i = 1, start
    while i < len(text) and depth:
        depth += {opening: 1, closing: -1}.get(text[i], 0)
        i += 1
    return text[start:i - 1]


def function_body(code, qualified):
    """The body of Class::name, defined out of line or inside its class."""
    cls, name = qualified.split('::')
    for head in (rf'\b{cls}::{name}\s*\([^;{{]*\)[^;{{]*\{{',
                 rf'\b(?:class|struct)\s+{cls}\b[\s\S]*?\b{name}\s*\([^;{{]*\)[^;{{]*\{{'):
        found = re.search(head, code)
        if found:
            return enclosed(code, found.end(), '{', '}')
    return ''


texts = {}
found_functions = set()
for source in sorted((root / 'src').rglob('*.[ch]*')):
    code = source.read_text(encoding='utf-8')
    where = source.relative_to(root)
    parts = [enclosed(code, call.end(), '(', ')') for call in CALLS.finditer(code)]
    for function in FUNCTIONS:
        body = function_body(code, function)
        if body:
            found_functions.add(function)
            parts.append(body)
    for part in parts:
        for literal in TR.finditer(part):
            if literal.group(1) not in NOT_MESSAGES:
                texts.setdefault(literal.group(1), where)

page = (root / 'html_help' / 'messages.html').read_text(encoding='utf-8')
page = html.unescape(re.sub(r'<[^>]+>', '', page))
page = re.sub(r'\s+', ' ', page)

missing = []
for text, where in sorted(texts.items()):
    literal = text.encode('utf-8').decode('unicode_escape').encode('latin-1').decode('utf-8')
    pieces = re.split(r'%(?:\d|n)', literal)
    pattern = r'.{0,80}?'.join(re.escape(re.sub(r'\s+', ' ', p)) for p in pieces)
    if not re.search(pattern, page):
        missing.append(f'{where}: "{literal}"')

# A renamed function would silently take its texts out of the check.
for function in sorted(set(FUNCTIONS) - found_functions):
    missing.append(f'{function} not found in src/')
for line in missing:
    print(f'FAIL: not in messages.html: {line}')
print(f'{len(texts)} status texts, {len(missing)} missing from the page')
sys.exit(1 if missing else 0)
