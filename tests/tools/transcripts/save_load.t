# save and load through the sequential format. Records may hold CR, LF, commas
# and Ctrl-Z: the reader counts bytes.
$ cat k.des
record=8 key=1
position=1 length=4
$ reclink create K.BTR k.des
created K.BTR: records of 8 bytes, 1 keys
$ printf in.seq 8,b\r\n,\x1a123\r\n8,a\r\n,\x1a456\r\n8,c\x00\x00\x00zzzz\r\n\x1a
$ reclink load in.seq K.BTR
3 records loaded from in.seq into K.BTR
# Physical order is the order of loading.
$ reclink save K.BTR out.seq
3 records saved from K.BTR to out.seq
$ cmp in.seq out.seq
$ printf keyed.seq 8,a\r\n,\x1a456\r\n8,b\r\n,\x1a123\r\n8,c\x00\x00\x00zzzz\r\n\x1a
$ reclink save K.BTR out.seq --key=0
3 records saved from K.BTR to out.seq
$ cmp keyed.seq out.seq
# A failed save leaves its output as it was.
$ reclink save K.BTR out.seq --key 5
reclink save: cannot read K.BTR after 0 records: status 6 (invalid key number); out.seq was not written
? 1
$ cmp keyed.seq out.seq
# Input may end without the Ctrl-Z; what follows a Ctrl-Z is not read.
$ printf end.seq 8,dddd0000\r\n
$ reclink load end.seq K.BTR
1 records loaded from end.seq into K.BTR
$ printf tail.seq 8,eeee0000\r\n\x1agarbage
$ reclink load tail.seq K.BTR
1 records loaded from tail.seq into K.BTR
# Loading is all or nothing, and a fault is named by record and byte offset.
$ reclink save K.BTR before.seq
5 records saved from K.BTR to before.seq
$ printf b1.seq 8,ffff1234\r\n6x,
$ reclink load b1.seq K.BTR
reclink load: b1.seq: record 2, byte offset 13: bad length: expected a digit or a comma; K.BTR is unchanged
? 1
$ printf b4.seq 8,ffff1234\r\n1234567890,
$ reclink load b4.seq K.BTR
reclink load: b4.seq: record 2, byte offset 21: bad length: too many digits; K.BTR is unchanged
? 1
$ printf b5.seq 8,ffff1234\r\n8
$ reclink load b5.seq K.BTR
reclink load: b5.seq: record 2, byte offset 13: input ends inside the length; K.BTR is unchanged
? 1
$ printf b6.seq 8,ffff1234\r\n8,bbb
$ reclink load b6.seq K.BTR
reclink load: b6.seq: record 2, byte offset 17: truncated record: 3 of 8 bytes; K.BTR is unchanged
? 1
$ printf b7.seq 8,ffff1234\r\n8,gggg5678\n\x1a
$ reclink load b7.seq K.BTR
reclink load: b7.seq: record 2, byte offset 22: missing CR LF after the record; K.BTR is unchanged
? 1
$ printf b8.seq 8,ffff1234\r\n7,gggg567\r\n
$ reclink load b8.seq K.BTR
reclink load: b8.seq: record 2, byte offset 12: wrong record length 7, the file's records are 8 bytes; K.BTR is unchanged
? 1
# A key the file already holds: the insert of the first record is undone too.
$ printf b9.seq 8,ffff1234\r\n8,dddd9999\r\n\x1a
$ reclink load b9.seq K.BTR
reclink load: b9.seq: record 2, byte offset 12: insert refused with status 5 (duplicate key value); K.BTR is unchanged
? 1
$ reclink save K.BTR after.seq
5 records saved from K.BTR to after.seq
$ cmp before.seq after.seq
