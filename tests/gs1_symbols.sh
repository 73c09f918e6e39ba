# The GS1 labels of the symbol tests, and how they are printed and read back (sourced by
# tests/symbols_test.sh and the Wine suites): the command on Linux and the DLL under Wine are
# held to one table.

# The shipped fresh food layout's categories, in the order a till asks for them.
gs1_categories=ITEM,WEIGHT,PRICE,EXPIRY,BATCH
# zint's input (AIs in brackets) and what a till gets for it.
gs1_labels="
[01]09501101530003[3103]001250[3922]1234[17]270115[10]AB12 09501101530003,001.250,12.34,270115,AB12
[01]09501101530003[3102]012345[3922]899[10]X-7/2 09501101530003,0123.45,8.99,,X-7/2
[10]LOT1[01]09501101530003[15]270100[3105]000125[3921]12345 09501101530003,0.00125,1234.5,,LOT1
"
# zint symbology, decoder, the identifier a scanner sends for it, the rule, a name.
gs1_symbols="
31 zbar ]e0 GS1FRESH DataBar-Expanded
16 zbar ]C1 GS1FRESH GS1-128
58 zbar ]Q3 GS1FRESH GS1-QR
71 dmtx-gs ]d2 GS1FRESH GS1-DataMatrix
71 dmtx-tilde ]d2 GS1TILDE GS1-DataMatrix-tilde
"

# gs1_tools_missing: the first of the printer and the decoders that is not installed, if any.
gs1_tools_missing() {
  local tool
  for tool in zint zbarimg dmtxread; do
    command -v "$tool" >/dev/null || { echo "$tool"; return; }
  done
}

# gs1_tilde_layout LAYOUT OUT: the layout's rule again as GS1TILDE, for a scanner that sends ~
# for GS.
gs1_tilde_layout() {
  sed -e 's/"GS1FRESH"/"GS1TILDE"/' -e 's/"bz": "\(GS1:[0-9]*\)"/"bz": "\1:~"/' "$1" >"$2"
}

# gs1_print TYPE DATA IMAGE: zint prints DATA as a GS1 symbol of symbology TYPE.
gs1_print() {
  zint -b "$1" --gs1 --quietzones --scale=4 -d "$2" -o "$3" >/dev/null 2>&1
}

# gs1_read DECODER IMAGE: the text the decoder reads, FNC1 as GS (as ~ for dmtx-tilde).
gs1_read() {
  case "$1" in
    zbar) zbarimg --raw -q "$2" 2>/dev/null | tr -d '\n' ;;
    dmtx-gs) dmtxread -N1 -G 29 "$2" 2>/dev/null ;;
    dmtx-tilde) dmtxread -N1 -G 126 "$2" 2>/dev/null ;;
  esac
}
