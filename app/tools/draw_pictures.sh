#!/usr/bin/env bash
# Draws the index-page picture (two stylised receipt printers on an orange ground,
# 234 x 314) and the 32 x 32 window icon with ImageMagick, into data/.
set -euo pipefail
out=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../data" && pwd)}

# One printer: body, paper slot, receipt coming out with printed lines, a button.
printer() {  # x y (top left of the body), scale-free 90 x 70 body
  local x=$1 y=$2
  echo "fill #f4f1ea stroke #5a4a3a stroke-width 1
        path 'M $((x+18)),$((y+8)) L $((x+18)),$((y-60)) L $((x+72)),$((y-60)) L $((x+72)),$((y+8)) Z'
        stroke #9a9080 stroke-width 2
        line $((x+26)),$((y-48)) $((x+64)),$((y-48))
        line $((x+26)),$((y-38)) $((x+58)),$((y-38))
        line $((x+26)),$((y-28)) $((x+62)),$((y-28))
        line $((x+26)),$((y-18)) $((x+48)),$((y-18))
        stroke #5a4a3a stroke-width 1 fill #3b3f46
        roundrectangle $x,$y $((x+90)),$((y+70)) 10,10
        fill #23262b roundrectangle $((x+12)),$((y+4)) $((x+78)),$((y+14)) 3,3
        fill #565c66 roundrectangle $((x+6)),$((y+24)) $((x+84)),$((y+62)) 6,6
        fill #7bd36b stroke none circle $((x+72)),$((y+34)) $((x+75)),$((y+34))
        fill #e0e0e0 circle $((x+72)),$((y+50)) $((x+75)),$((y+50))"
}

convert -size 234x314 gradient:'#ffb347-#e8700a' \
  -fill '#ffffff30' -stroke none -draw 'circle 190,40 190,110' \
  -fill '#00000018' -draw 'ellipse 117,290 100,10 0,360' \
  -draw "$(printer 20 150)" \
  -draw "$(printer 118 215)" \
  -fill '#ffffffd0' -draw 'roundrectangle 22,16 140,46 6,6' \
  -fill '#c2540a' -font DejaVu-Sans-Bold -pointsize 18 -annotate +38+38 'Tillvane' \
  -quality 92 "$out/index.jpg"

convert -size 32x32 xc:none \
  -fill '#e8700a' -draw 'roundrectangle 0,0 31,31 6,6' \
  -fill '#f4f1ea' -stroke '#5a4a3a' -draw 'rectangle 10,3 22,16' \
  -stroke '#9a9080' -draw 'line 12,7 20,7 line 12,10 19,10 line 12,13 20,13' \
  -stroke none -fill '#3b3f46' -draw 'roundrectangle 4,15 27,28 3,3' \
  -fill '#7bd36b' -draw 'rectangle 21,19 23,21' \
  "$out/tillvane.png"
