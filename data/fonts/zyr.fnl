modern modern.fnt
duplex duplex.fnt
serif serif.fnt
script script.fnt
greek greek.fnt
