# The tables of ./dev coverage, from the cross gcov's JSON records (one per count file, slurped).
# $root: the source folder, ending in "/"; $exports: the DLL's export names, one a line.

def percent(run; total): (run * 1000 / total | floor) as $p | "\($p / 10 | floor).\($p % 10)%";
def right(width): (" " * (width - length)) + .;
def row(run; total; name): "\(percent(run; total) | right(7))  \("\(run)/\(total)" | right(9))  \(name)";
def listed: if length == 0 then "  (none)" else .[] | "  " + . end;

# A line is run when any object that holds it ran it: a header's inline code is in many objects.
def lines_per_file:
    [.[] | .files[] | (.file | ltrimstr($root)) as $file
        | select(.file | startswith($root)) | select($file | test("^(Lib|link|extension|json)/"))
        | .lines[] | {$file, line: .line_number, count}]
    | group_by(.file)
    | map({file: .[0].file, counts: (group_by(.line) | map(map(.count) | add))})
    | map({file, run: (.counts | map(select(. > 0)) | length), total: (.counts | length)});

# Calls per function of the DLL's own objects, by name (an export's without its "@" size of arguments).
def dll_calls:
    [.[] | select(.data_file | contains("/morvalex_dll_objects.dir/")) | .files[].functions[]
        | {name: (.demangled_name | sub("@[0-9]+$"; "")), count: .execution_count}]
    | group_by(.name) | map({key: .[0].name, value: (map(.count) | add)}) | from_entries;

lines_per_file as $files
| dll_calls as $calls
| "Lines run per file, by the DLL and the in-process tests together:",
  ($files[] | row(.run; .total; .file)),
  row($files | map(.run) | add; $files | map(.total) | add; "total"),
  "",
  "Exports the host-level tests never ran in Morvalex.mfx:",
  ($exports | split("\n") | map(select(length > 0 and ($calls[.] // 0) == 0)) | listed),
  "",
  "Extension members the host-level tests never ran in Morvalex.mfx:",
  ($calls | to_entries | map(select((.key | startswith("Extension::")) and .value == 0) | .key) | listed)
