# vkt2x on an input that cannot be opened or read
fresh folder=/
run x absent; expect 1 "" "$OPEN" folder=/
run x folder; expect 1 "" "$FOLDER" folder=/
run x folder/; expect 1 "" "$FOLDER" folder=/
