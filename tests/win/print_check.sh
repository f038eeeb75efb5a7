#!/bin/bash
# Prints the window pictures of win_clock_print_test.exe on the default CUPS printer (the
# cups-pdf queue) and reads the pages back: one landscape page each, the picture 4:3, the
# window's quarters where they belong, red and the black diagonal only where the client area
# ends before the picture does.
#
#   tests/win/print_check.sh build/win32/tests/win/win_clock_print_test.exe
#
# Wine's environment (WINEPREFIX, DISPLAY, ...) comes from the caller. Exit 77 means skipped:
# no default printer.
set -u
exe=${1:?usage: print_check.sh path/to/win_clock_print_test.exe}
out=${FW_PDF_DIR:-$HOME/PDF}
fail=0

if ! lpstat -d 2>/dev/null | grep -q "system default destination:"; then
    echo "SKIP: no default printer"
    exit 77
fi

tag="-$$-$(date +%s)"
FW_PRINT_TAG=$tag wine "$exe" --gtest_filter=PrintWin.PrintsOneLandscapePagePerRequest || {
    echo "FAIL: printing test failed"
    exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

wait_pdf() { # name -> path of the finished PDF
    local pdf
    for _ in $(seq 1 60); do
        pdf=$(ls "$out"/"$1$tag"*.pdf 2>/dev/null | head -n1)
        if [ -n "$pdf" ] && pdfinfo "$pdf" >/dev/null 2>&1; then
            echo "$pdf"
            return 0
        fi
        sleep 1
    done
    return 1
}

check() { # description, actual, expected
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        echo "FAIL: $1: expected $3, got $2"
        fail=1
    fi
}

# The colour at a point given in thousandths of the picture's box, as one of the names below.
colour_at() { # png box_w box_h box_x box_y px py
    local x=$(($4 + $2 * $6 / 1000)) y=$(($5 + $3 * $7 / 1000))
    local hex
    hex=$(convert "$1" -format "%[hex:p{$x,$y}]" info:)
    local r=$((16#${hex:0:2})) g=$((16#${hex:2:2})) b=$((16#${hex:4:2})) bits=""
    for v in $r $g $b; do
        if [ "$v" -ge 200 ]; then bits+=1; elif [ "$v" -le 55 ]; then bits+=0; else bits+=x; fi
    done
    case $bits in
    001) echo blue ;; 010) echo green ;; 110) echo yellow ;; 011) echo cyan ;;
    100) echo red ;; 000) echo black ;; 111) echo white ;; *) echo "other($hex)" ;;
    esac
}

# The darkest grey level (0..100) in a 7x7 square around a point of the picture's box.
darkest_at() {
    local x=$(($4 + $2 * $6 / 1000 - 3)) y=$(($5 + $3 * $7 / 1000 - 3))
    convert "$1" -crop "7x7+$x+$y" +repage -colorspace gray -format '%[fx:round(100*minima)]' info:
}

for name in fwprint-full fwprint-small; do
    pdf=$(wait_pdf "$name") || {
        echo "FAIL: no PDF for $name$tag in $out"
        fail=1
        continue
    }
    echo "== $pdf"
    check "$name pages" "$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')" 1
    pdftoppm -r 100 -png -singlefile "$pdf" "$work/$name"
    png="$work/$name.png"
    read -r pw ph < <(identify -format '%w %h' "$png")
    check "$name landscape page" "$([ "$pw" -gt "$ph" ] && echo yes || echo no)" yes
    read -r bw bh bx by < <(convert "$png" -trim -format '%w %h %X %Y' info:)
    # 4:3 within a pixel or two of the rendering.
    check "$name picture is 4:3" "$(((bw * 3 - bh * 4) * (bw * 3 - bh * 4) < (bw * 3 / 50) ** 2 && 1 || 0))" 1
    # As large as fits on the landscape page (A4 is wider than 4:3, so the height limits) and
    # centred across.
    check "$name picture fills the height" "$((bh * 10 >= ph * 9))" 1
    check "$name picture centred" "$(((bx - (pw - bx - bw)) ** 2 <= 16))" 1
    reds=$(convert "$png" -fuzz 20% -fill black +opaque red -format '%[fx:round(mean*w*h*3)]' info:)
    if [ "$name" = fwprint-full ]; then
        check "$name top-left" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 250 250)" blue
        check "$name top-right" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 750 250)" green
        check "$name bottom-left" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 250 750)" yellow
        check "$name bottom-right" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 750 750)" cyan
        check "$name red never shows" "$reds" 0
    else
        # The control at the client's origin, larger than its 640x480: what the window shows
        # of it copied pixel for pixel into the top-left; red beyond 640 and 480 of 800x600.
        check "$name copied top-left" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 150 150)" blue
        check "$name copied top-right" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 450 150)" green
        check "$name copied bottom-left" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 150 450)" yellow
        check "$name red right of the client" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 900 300)" red
        check "$name red below the client" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 300 900)" red
        check "$name red beside the diagonal" "$(colour_at "$png" "$bw" "$bh" "$bx" "$by" 900 800)" red
        check "$name diagonal at 87.5 %" "$(($(darkest_at "$png" "$bw" "$bh" "$bx" "$by" 875 875) < 12))" 1
        check "$name diagonal at 95 %" "$(($(darkest_at "$png" "$bw" "$bh" "$bx" "$by" 950 950) < 12))" 1
    fi
done

[ $fail -eq 0 ] && echo "PASS" || echo "FAIL"
exit $fail
