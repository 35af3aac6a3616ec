"use strict";

setUpWatchSwitch(document.getElementById("watch"), document.getElementById("cost"));
