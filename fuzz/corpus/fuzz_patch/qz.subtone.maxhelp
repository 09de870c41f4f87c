{
 "patcher": {
  "fileversion": 1,
  "appversion": {
   "major": 8,
   "minor": 6,
   "revision": 0,
   "architecture": "x64",
   "modernui": 1
  },
  "classnamespace": "box",
  "rect": [
   100.0,
   100.0,
   700.0,
   460.0
  ],
  "gridsize": [
   15.0,
   15.0
  ],
  "boxes": [
   {
    "box": {
     "id": "obj-1",
     "maxclass": "newobj",
     "numinlets": 0,
     "numoutlets": 0,
     "patching_rect": [
      20.0,
      20.0,
      90.0,
      22
     ],
     "text": "p basic",
     "fontsize": 12.0,
     "patcher": {
      "fileversion": 1,
      "appversion": {
       "major": 8,
       "minor": 6,
       "revision": 0,
       "architecture": "x64",
       "modernui": 1
      },
      "classnamespace": "box",
      "rect": [
       100.0,
       100.0,
       700.0,
       460.0
      ],
      "gridsize": [
       15.0,
       15.0
      ],
      "boxes": [
       {
        "box": {
         "id": "obj-1",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          10.0,
          640.0,
          26.0
         ],
         "text": "qz.subtone: the virtual fundamental of a chord in Hz",
         "fontsize": 16.0,
         "fontface": 1
        }
       },
       {
        "box": {
         "id": "obj-2",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          44.0,
          150.0,
          22.0
         ],
         "text": "A chord in Hz"
        }
       },
       {
        "box": {
         "id": "obj-3",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          220.0,
          44.0,
          150.0,
          22.0
         ],
         "text": "A single number"
        }
       },
       {
        "box": {
         "id": "obj-4",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          420.0,
          44.0,
          200.0,
          22.0
         ],
         "text": "Creation argument 0"
        }
       },
       {
        "box": {
         "id": "obj-5",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          20.0,
          78.0,
          85.0,
          22.0
         ],
         "text": "440 550 660",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-6",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          220.0,
          78.0,
          30.0,
          22.0
         ],
         "text": "440",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-7",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          420.0,
          78.0,
          57.0,
          22.0
         ],
         "text": "440 660",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-8",
         "maxclass": "newobj",
         "numinlets": 1,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          20.0,
          112.0,
          78.0,
          22.0
         ],
         "text": "qz.subtone",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-9",
         "maxclass": "newobj",
         "numinlets": 1,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          220.0,
          112.0,
          78.0,
          22.0
         ],
         "text": "qz.subtone",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-10",
         "maxclass": "newobj",
         "numinlets": 1,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          420.0,
          112.0,
          92.0,
          22.0
         ],
         "text": "qz.subtone 0",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-11",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          20.0,
          146.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-12",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          86.0,
          146.0,
          76.0,
          22.0
         ],
         "text": "= 110.0459"
        }
       },
       {
        "box": {
         "id": "obj-13",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          220.0,
          146.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-14",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          286.0,
          146.0,
          76.0,
          22.0
         ],
         "text": "= 440.1835"
        }
       },
       {
        "box": {
         "id": "obj-15",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          420.0,
          146.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-16",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          486.0,
          146.0,
          76.0,
          22.0
         ],
         "text": "= 220"
        }
       },
       {
        "box": {
         "id": "obj-17",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          214.0,
          560.0,
          51.0
         ],
         "text": "The first partial is where the search starts; the result is the highest frequency of which every partial is a multiple, within the approximation (0.5 semitone unless the argument or the approx attribute says otherwise)."
        }
       }
      ],
      "lines": [
       {
        "patchline": {
         "source": [
          "obj-5",
          0
         ],
         "destination": [
          "obj-8",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-8",
          0
         ],
         "destination": [
          "obj-11",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-6",
          0
         ],
         "destination": [
          "obj-9",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-9",
          0
         ],
         "destination": [
          "obj-13",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-7",
          0
         ],
         "destination": [
          "obj-10",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-10",
          0
         ],
         "destination": [
          "obj-15",
          0
         ]
        }
       }
      ],
      "showontab": 1
     }
    }
   },
   {
    "box": {
     "id": "obj-2",
     "maxclass": "newobj",
     "numinlets": 0,
     "numoutlets": 0,
     "patching_rect": [
      130.0,
      20.0,
      90.0,
      22
     ],
     "text": "p midi",
     "fontsize": 12.0,
     "patcher": {
      "fileversion": 1,
      "appversion": {
       "major": 8,
       "minor": 6,
       "revision": 0,
       "architecture": "x64",
       "modernui": 1
      },
      "classnamespace": "box",
      "rect": [
       100.0,
       100.0,
       700.0,
       460.0
      ],
      "gridsize": [
       15.0,
       15.0
      ],
      "boxes": [
       {
        "box": {
         "id": "obj-1",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          10.0,
          640.0,
          26.0
         ],
         "text": "qz.subtone: MIDI pitches in, a MIDI pitch out (@mode 1)",
         "fontsize": 16.0,
         "fontface": 1
        }
       },
       {
        "box": {
         "id": "obj-2",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          44.0,
          150.0,
          22.0
         ],
         "text": "A chord in MIDI"
        }
       },
       {
        "box": {
         "id": "obj-3",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          200.0,
          44.0,
          150.0,
          22.0
         ],
         "text": "approx changes"
        }
       },
       {
        "box": {
         "id": "obj-4",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          400.0,
          44.0,
          100.0,
          22.0
         ],
         "text": "Two notes"
        }
       },
       {
        "box": {
         "id": "obj-5",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          560.0,
          44.0,
          150.0,
          22.0
         ],
         "text": "A single number"
        }
       },
       {
        "box": {
         "id": "obj-6",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          20.0,
          78.0,
          64.0,
          22.0
         ],
         "text": "60 64 67",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-7",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          200.0,
          78.0,
          64.0,
          22.0
         ],
         "text": "approx 1",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-8",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          280.0,
          78.0,
          64.0,
          22.0
         ],
         "text": "60 64 67",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-9",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          400.0,
          78.0,
          43.0,
          22.0
         ],
         "text": "57 64",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-10",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          560.0,
          78.0,
          30.0,
          22.0
         ],
         "text": "69",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-11",
         "maxclass": "newobj",
         "numinlets": 1,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          20.0,
          146.0,
          134.0,
          22.0
         ],
         "text": "qz.subtone @mode 1",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-12",
         "maxclass": "newobj",
         "numinlets": 1,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          200.0,
          146.0,
          134.0,
          22.0
         ],
         "text": "qz.subtone @mode 1",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-13",
         "maxclass": "newobj",
         "numinlets": 1,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          400.0,
          146.0,
          150.0,
          22.0
         ],
         "text": "qz.subtone 0.5 @mode 1",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-14",
         "maxclass": "newobj",
         "numinlets": 1,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          560.0,
          146.0,
          134.0,
          22.0
         ],
         "text": "qz.subtone @mode 1",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-15",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          20.0,
          180.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-16",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          86.0,
          180.0,
          76.0,
          22.0
         ],
         "text": "= 36.0"
        }
       },
       {
        "box": {
         "id": "obj-17",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          200.0,
          180.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-18",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          266.0,
          180.0,
          76.0,
          22.0
         ],
         "text": "= 40.0"
        }
       },
       {
        "box": {
         "id": "obj-19",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          400.0,
          180.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-20",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          466.0,
          180.0,
          76.0,
          22.0
         ],
         "text": "= 45.0"
        }
       },
       {
        "box": {
         "id": "obj-21",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          560.0,
          180.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-22",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          626.0,
          180.0,
          76.0,
          22.0
         ],
         "text": "= 69.0"
        }
       },
       {
        "box": {
         "id": "obj-23",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          248.0,
          620.0,
          36.0
         ],
         "text": "In MIDI mode the result is rounded to a multiple of the approximation: with approx 1 the same chord finds a higher fundamental (82.7 Hz, MIDI 40) than with 0.5 (65.4 Hz, MIDI 36)."
        }
       }
      ],
      "lines": [
       {
        "patchline": {
         "source": [
          "obj-6",
          0
         ],
         "destination": [
          "obj-11",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-7",
          0
         ],
         "destination": [
          "obj-12",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-8",
          0
         ],
         "destination": [
          "obj-12",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-9",
          0
         ],
         "destination": [
          "obj-13",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-10",
          0
         ],
         "destination": [
          "obj-14",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-11",
          0
         ],
         "destination": [
          "obj-15",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-12",
          0
         ],
         "destination": [
          "obj-17",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-13",
          0
         ],
         "destination": [
          "obj-19",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-14",
          0
         ],
         "destination": [
          "obj-21",
          0
         ]
        }
       }
      ],
      "showontab": 1
     }
    }
   }
  ],
  "lines": []
 }
}
