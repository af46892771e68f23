# vkt2c leaves a folder at NAME.$$$ alone
n=$(packed_size z40000)
fresh f=z40000 'f.$$$=/'
run c f; expect 1 "40000 $n" "$CREATE" f=z40000 'f.$$$=/'
