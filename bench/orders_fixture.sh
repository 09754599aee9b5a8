# Shared by the command-line benchmarks: small ORDERS tables compiled from their sources into $work/std,
# and generate FILE KB, which writes an interchange of about KB kilobytes of ORDERS messages.
# Needs $work and $cli set by the script that sources it.
mkdir -p "$work/std/D96A"
cat >"$work/std/D96A/D96A.sdf" <<'EOF'
SEGMENTS
SEGMENT 'UNH' FIELD '0062' ALNUM (1:14);
  COMPOSIT 'S009' FIELD '0065' ALNUM (1:6); FIELD '0052' ALNUM (1:3); FIELD '0054' ALNUM (1:3);
    FIELD '0051' ALNUM (1:2); FIELD '0057' ALNUM (1:6); END;
  FIELD '0068' ALNUM (1:35);
  COMPOSIT 'S010' FIELD '0070' NUMERIC (1:2); FIELD '0073' ALPHA (1:1); END;
END;
SEGMENT 'UNT' FIELD '0074' NUMERIC (1:6); FIELD '0062' ALNUM (1:14); END;
SEGMENT 'UNE' FIELD '0060' NUMERIC (1:6); FIELD '0048' ALNUM (1:14); END;
SEGMENT 'UNZ' FIELD '0036' NUMERIC (1:6); FIELD '0020' ALNUM (1:14); END;
SEGMENT 'UNS' FIELD '0081' ALPHA (1:1); END;
SEGMENT 'BGM' COMPOSIT 'C002' FIELD '1001' ALNUM (1:3); FIELD '1131' ALNUM (1:3); FIELD '3055' ALNUM (1:3);
    FIELD '1000' ALNUM (1:35); END;
  FIELD '1004' ALNUM (1:35); FIELD '1225' ALNUM (1:3); FIELD '4343' ALNUM (1:3);
END;
SEGMENT 'DTM' COMPOSIT 'C507' FIELD '2005' ALNUM (1:3); FIELD '2380' ALNUM (1:35); FIELD '2379' ALNUM (1:3); END; END;
SEGMENT 'FTX' FIELD '4451' ALNUM (1:3); FIELD '4453' ALNUM (1:3);
  COMPOSIT 'C107' FIELD '4441' ALNUM (1:17); FIELD '1131' ALNUM (1:17); FIELD '3055' ALNUM (1:3); END;
  COMPOSIT 'C108' FIELD '4440' ALNUM (1:512); FIELD '4440a' ALNUM (1:512); FIELD '4440b' ALNUM (1:512);
    FIELD '4440c' ALNUM (1:512); FIELD '4440d' ALNUM (1:512); END;
  FIELD '3453' ALNUM (1:3);
END;
SEGMENT 'RFF' COMPOSIT 'C506' FIELD '1153' ALNUM (1:3); FIELD '1154' ALNUM (1:70); FIELD '1156' ALNUM (1:6);
  FIELD '4000' ALNUM (1:35); END; END;
SEGMENT 'NAD' FIELD '3035' ALNUM (1:3);
  COMPOSIT 'C082' FIELD '3039' ALNUM (1:35); FIELD '1131' ALNUM (1:17); FIELD '3055' ALNUM (1:3); END;
  COMPOSIT 'C058' FIELD '3124' ALNUM (1:35); END;
  COMPOSIT 'C080' FIELD '3036' ALNUM (1:35); FIELD '3045' ALNUM (1:3); END;
  COMPOSIT 'C059' FIELD '3042' ALNUM (1:35); END;
  FIELD '3164' ALNUM (1:35);
  COMPOSIT 'C819' FIELD '3229' ALNUM (1:9); END;
  FIELD '3251' ALNUM (1:17); FIELD '3207' ALNUM (1:3);
END;
SEGMENT 'CTA' FIELD '3139' ALNUM (1:3); COMPOSIT 'C056' FIELD '3413' ALNUM (1:17); FIELD '3412' ALNUM (1:35); END; END;
SEGMENT 'COM' COMPOSIT 'C076' FIELD '3148' ALNUM (1:512); FIELD '3155' ALNUM (1:3); END; END;
SEGMENT 'LIN' FIELD '1082' NUMERIC (1:6); FIELD '1229' ALNUM (1:3);
  COMPOSIT 'C212' FIELD '7140' ALNUM (1:35); FIELD '7143' ALNUM (1:3); FIELD '1131' ALNUM (1:17);
    FIELD '3055' ALNUM (1:3); END;
END;
SEGMENT 'PIA' FIELD '4347' ALNUM (1:3);
  COMPOSIT 'C212' FIELD '7140' ALNUM (1:35); FIELD '7143' ALNUM (1:3); FIELD '1131' ALNUM (1:17);
    FIELD '3055' ALNUM (1:3); END;
END;
SEGMENT 'IMD' FIELD '7077' ALNUM (1:3); COMPOSIT 'C272' FIELD '7081' ALNUM (1:3); END;
  COMPOSIT 'C273' FIELD '7009' ALNUM (1:17); FIELD '1131' ALNUM (1:17); FIELD '3055' ALNUM (1:3);
    FIELD '7008' ALNUM (1:256); END;
END;
SEGMENT 'QTY' COMPOSIT 'C186' FIELD '6063' ALNUM (1:3); FIELD '6060' NUMERIC (1:15); FIELD '6411' ALNUM (1:3); END; END;
SEGMENT 'PRI' COMPOSIT 'C509' FIELD '5125' ALNUM (1:3); FIELD '5118' NUMERIC (1:15); FIELD '5375' ALNUM (1:3);
  FIELD '5387' ALNUM (1:3); FIELD '5284' NUMERIC (1:9); FIELD '6411' ALNUM (1:3); END; END;
SEGMENT 'CNT' COMPOSIT 'C270' FIELD '6069' ALNUM (1:3); FIELD '6066' NUMERIC (1:18); FIELD '6411' ALNUM (1:3); END; END;
END;
EOF
cat >"$work/std/D96A/ORDERS.mdf" <<'EOF'
MESSAGE 'ORDERS'
IDENTIFICATION 65 = 'ORDERS', 52 = 'D', 54 = '96A', 51 = 'UN'
SEGMENTS 'D96A';
STRUCTURE
SEGMENT 'UNH' MANDATORY (1);
SEGMENT 'BGM' MANDATORY (1);
SEGMENT 'DTM' MANDATORY (35);
SEGMENT 'FTX' CONDITIONAL (99);
GROUP 'RFF' CONDITIONAL (10); SEGMENT 'RFF' MANDATORY (1); SEGMENT 'DTM' CONDITIONAL (5); END;
GROUP 'NAD' CONDITIONAL (99);
  SEGMENT 'NAD' MANDATORY (1);
  GROUP 'RFF' CONDITIONAL (10); SEGMENT 'RFF' MANDATORY (1); SEGMENT 'DTM' CONDITIONAL (5); END;
  GROUP 'CTA' CONDITIONAL (5); SEGMENT 'CTA' MANDATORY (1); SEGMENT 'COM' CONDITIONAL (5); END;
END;
GROUP 'LIN' CONDITIONAL (200000);
  SEGMENT 'LIN' MANDATORY (1);
  SEGMENT 'PIA' CONDITIONAL (25);
  SEGMENT 'IMD' CONDITIONAL (99);
  SEGMENT 'QTY' CONDITIONAL (10);
  SEGMENT 'DTM' CONDITIONAL (35);
  GROUP 'PRI' CONDITIONAL (25); SEGMENT 'PRI' MANDATORY (1); END;
END;
SEGMENT 'UNS' MANDATORY (1);
SEGMENT 'CNT' CONDITIONAL (10);
SEGMENT 'UNT' MANDATORY (1);
END;
EOF
"$cli" compile "$work/std/D96A/D96A.sdf" "$work/std/D96A/ORDERS.mdf" >/dev/null
# The code lists of the coded elements the messages use, so that strict checks look codes up too.
printf '%s\n' "EDIFACT CODE LISTS 1" \
    "=1001" $'220\tOrder' $'221\tBlanket order' \
    "=1225" $'9\tOriginal' $'5\tReplace' \
    "=2005" $'2\tDelivery date' $'137\tDocument date' $'171\tReference date' \
    "=2379" $'102\tCCYYMMDD' $'203\tCCYYMMDDHHMM' \
    "=3035" $'BY\tBuyer' $'SU\tSupplier' $'DP\tDelivery party' \
    "=3055" $'9\tEAN' \
    "=3139" $'OC\tOrder contact' \
    "=3155" $'EM\tElectronic mail' $'TE\tTelephone' \
    "=1153" $'CT\tContract number' $'VA\tVAT registration number' \
    "=4347" $'1\tAdditional identification' $'5\tProduct identification' \
    "=4451" $'AAI\tGeneral information' \
    "=5125" $'AAA\tCalculation net' \
    "=6063" $'21\tOrdered quantity' \
    "=6069" $'2\tNumber of line items' \
    "=7077" $'F\tFree-form' \
    "=7143" $'SA\tSupplier article number' $'SRS\tEAN article number' >"$work/std/D96A/CODES.CLT"

# An interchange of about $2 KB of ORDERS messages in one functional group, lines ending in CR LF. A third
# argument gives every message that many lines, a fourth makes that many messages whatever the size.
generate() {
    awk -v target="$(($2 * 1024))" -v fixed="${3:-0}" -v messages="${4:-0}" 'BEGIN {
        ORS = "\r\n"
        print "UNA:+.? '\''"
        print "UNB+UNOC:3+5412345000013:14+4012345500004:14+240101:1200+REF42'\''"
        print "UNG+ORDERS+5412345000013:14+4012345500004:14+240101:1200+G1+UN+D:96A'\''"
        bytes = 200
        for (n = 1; messages > 0 ? n <= messages : bytes < target; n++) {
            m = sprintf("UNH+%d+ORDERS:D:96A:UN'\''\r\nBGM+220+PO?+%06d+9'\''\r\n", n, n)
            m = m "DTM+137:20240101:102'\''\r\nDTM+2:20240115:102'\''\r\nFTX+AAI+++Deliver to the back door?, ring twice'\''\r\n"
            m = m "RFF+CT:4500012345'\''\r\nDTM+171:20231201:102'\''\r\n"
            m = m "NAD+BY+5412345000013::9++Buyer?'\''s Company:Purchasing+Main Street 1+Springfield++12345+US'\''\r\n"
            m = m "RFF+VA:DE123456789'\''\r\nCTA+OC+:J. Smith'\''\r\nCOM+0049301234567:TE'\''\r\nCOM+j.smith@example.com:EM'\''\r\n"
            m = m "NAD+SU+4012345500004::9'\''\r\nNAD+DP+5412345000020::9'\''\r\n"
            count = 14
            lines = fixed > 0 ? fixed : 4 + n % 5
            for (line = 1; line <= lines; line++) {
                m = m sprintf("LIN+%d++40123456%05d:SRS'\''\r\nPIA+1+ART-4711:SA'\''\r\nIMD+F++:::Widget, blue'\''\r\n", line, (n * 7 + line) % 100000)
                m = m sprintf("QTY+21:%d:PCE'\''\r\nPRI+AAA:12.50'\''\r\n", (n + line) % 1000 + 1)
                count += 5
            }
            m = m sprintf("UNS+S'\''\r\nCNT+2:%d'\''\r\nUNT+%d+%d'\''", lines, count + 3, n)
            print m
            bytes += length(m) + 2
        }
        printf "UNE+%d+G1'\''\r\nUNZ+1+REF42'\''\r\n", n - 1
    }' >"$1"
}

