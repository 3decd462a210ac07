# Fields of a file the database does not know: its keys, decoded by type.
$ cat t.des
record=24 key=3
position=1 length=8 type=zstring segment=y
position=9 length=2 type=integer
position=11 length=4 type=unsigned_binary
position=15 length=3 type=unsigned_binary
$ printf t.seq 24,ab\x00zz\x00\x00\x00\xfe\xff\x01\x00\x00\x80
$ printf t.seq \xab\x00\x01\x07\x00\x00\x00\x00\x00\x01\r\n
$ reclink create T.BTR t.des
created T.BTR: records of 24 bytes, 3 keys
$ reclink load t.seq T.BTR
1 records loaded from t.seq into T.BTR
$ reclink dump T.BTR
record 1
  key 0 segment 1: ab
  key 0 segment 2: -2
  key 1: 2147483649
  key 2: ab0001
  other bytes: @3 7a7a @17 07 @23 01
1 records of T.BTR in the order of key 0
